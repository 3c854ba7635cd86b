// The GDI floor: the least a Windows program can do to show the effect. A
// WS_POPUP window with WS_EX_TOPMOST | WS_EX_TOOLWINDOW over the primary
// monitor with a black class brush; at each 125 ms tick (a waitable timer
// re-armed for each due time on the QueryPerformanceCounter grid, waited
// on with MsgWaitForMultipleObjects) one random full-width 1-px line by
// MoveToEx/LineTo plus the end pixel; the flood by the background brush and
// InvalidateRect; the end seven ticks later: floor-gdi [LINES] (default 13).

#include <windows.h>

#include <cstdlib>

namespace {

HBRUSH background = nullptr;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_ERASEBKGND && background != nullptr) {
    RECT all;
    GetClientRect(window, &all);
    FillRect(reinterpret_cast<HDC>(w), &all, background);
    return 1;
  }
  return DefWindowProcW(window, message, w, l);
}

void WaitForTick(HANDLE timer, LONGLONG start, LONGLONG frequency, int k) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const LONGLONG due = start + frequency * k / 8;  // 125 ms a tick
  for (;;) {
    QueryPerformanceCounter(&now);
    if (now.QuadPart >= due) return;
    LARGE_INTEGER relative;
    relative.QuadPart = -((due - now.QuadPart) * 10000000 / frequency + 1);
    SetWaitableTimer(timer, &relative, 0, nullptr, nullptr, FALSE);
    MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 13;
  LARGE_INTEGER frequency, start;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  const RECT r = info.rcMonitor;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = L"floor";
  RegisterClassW(&window_class);
  HWND window =
      CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"floor", L"floor", WS_POPUP, r.left, r.top,
                      width, height, nullptr, nullptr, window_class.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  timeBeginPeriod(1);
  const COLORREF blue = RGB(0, 0, 255);
  HPEN pen = CreatePen(PS_SOLID, 1, blue);
  int k = 12;
  for (int line = 0; line < lines; ++line) {
    WaitForTick(timer, start.QuadPart, frequency.QuadPart, ++k);
    HDC dc = GetDC(window);
    SelectObject(dc, pen);
    const int y1 = std::rand() % height;
    const int y2 = std::rand() % height;
    MoveToEx(dc, 0, y1, nullptr);
    LineTo(dc, width - 1, y2);
    SetPixelV(dc, width - 1, y2, blue);
    ReleaseDC(window, dc);
    GdiFlush();
  }
  WaitForTick(timer, start.QuadPart, frequency.QuadPart, ++k);
  background = CreateSolidBrush(blue);
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  GdiFlush();
  WaitForTick(timer, start.QuadPart, frequency.QuadPart, k + 7);
  DestroyWindow(window);
  return 0;
}
