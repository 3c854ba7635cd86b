// The GDI back end: a borderless popup over the primary monitor, on top,
// out of the task bar. Its class brush is black, so the first frame is
// black; each line is a one-pixel solid pen with both end pixels drawn; the
// flood repaints the background; WM_PAINT redraws from the scene. Ticks
// come from a waitable timer that MsgWaitForMultipleObjects waits on beside
// the window's messages.

#include "window/win32/gdi_backend.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

#include "runtime/runtime_error.h"
#include "window/effect_scene.h"
#include "window/scene_pixels.h"

namespace slash {
namespace {

constexpr wchar_t kClassName[] = L"slash";

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

[[noreturn]] void ThrowNoDisplay(const std::string& what) {
  throw RuntimeError::HostFailure(what + " (error " + std::to_string(GetLastError()) + ")",
                                  kStatusNoDisplay);
}

// A GDI object or call that failed mid-run: the window's property failure.
[[noreturn]] void ThrowGdiFailure(const std::string& what) {
  throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                     what + " (error " + std::to_string(GetLastError()) + ")");
}

// EffectColor is 0x00BBGGRR, which is exactly a COLORREF.
COLORREF ToColorRef(EffectColor color) {
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

class GdiBackend : public WindowBackend {
 public:
  GdiBackend();
  ~GdiBackend() override;
  GdiBackend(const GdiBackend&) = delete;
  GdiBackend& operator=(const GdiBackend&) = delete;

  PixelRect PrimaryMonitor() override { return primary_; }
  void Show(const EffectScene& scene) override;
  void DrawLine(const EffectScene& scene, std::size_t index) override;
  void Repaint(const EffectScene& scene) override;
  bool WaitUntil(Clock::time_point due) override;
  std::optional<ScreenSize> ReportedSize() const override { return reported_size_; }
  void Finish() override { GdiFlush(); }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void Paint();
  void DrawPlacedLine(HDC dc, const PlacedLine& line);
  HPEN PenFor(EffectColor color);
  void SetBackground(EffectColor color);
  void ArmTimer(Clock::time_point due);

  HINSTANCE instance_ = GetModuleHandleW(nullptr);
  PixelRect primary_;
  HWND owner_ = nullptr;  // hidden: keeps the window out of every task bar
  HWND window_ = nullptr;
  HANDLE timer_ = nullptr;
  bool fine_period_ = false;  // the scheduler's period brought to 1 ms for the classic timer
  HBRUSH background_ = nullptr;
  EffectColor background_color_ = kBlack;
  std::map<EffectColor, HPEN> pens_;  // one a colour, made once
  const EffectScene* shown_ = nullptr;
  std::optional<ScreenSize> reported_size_;
  bool closed_ = false;
};

GdiBackend::GdiBackend() {
  // The primary monitor is the one that holds the desktop's origin.
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) {
    ThrowNoDisplay("cannot read the primary monitor");
  }
  const RECT& r = info.rcMonitor;
  primary_ = PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &GdiBackend::WindowProcedure;
  window_class.hInstance = instance_;
  window_class.hCursor = nullptr;  // a screen effect shows no pointer
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = kClassName;
  if (RegisterClassExW(&window_class) == 0) ThrowNoDisplay("cannot register the window class");
  // A high-resolution timer where the system has one; the classic one
  // otherwise, with the scheduler's period brought down to 1 ms.
  timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                  TIMER_ALL_ACCESS);
  if (timer_ == nullptr) {
    timer_ = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    fine_period_ = timer_ != nullptr && timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  if (timer_ == nullptr) ThrowNoDisplay("cannot create the tick timer");
}

GdiBackend::~GdiBackend() {
  if (window_ != nullptr) DestroyWindow(window_);
  if (owner_ != nullptr) DestroyWindow(owner_);
  for (const auto& [color, pen] : pens_) DeleteObject(pen);
  if (background_ != nullptr) DeleteObject(background_);
  if (fine_period_) timeEndPeriod(1);
  CloseHandle(timer_);
  UnregisterClassW(kClassName, instance_);
}

void GdiBackend::Show(const EffectScene& scene) {
  shown_ = &scene;
  SetBackground(scene.background);
  const PixelRect rect = DesktopRect(primary_, scene);
  // A popup has no frame; a tool window has no task-bar button; topmost
  // keeps it over the task bar. A window with an owner never has a button
  // either, where a task bar ignores the tool-window style (Wine's does):
  // the owner is a window that is never shown.
  owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance_,
                           nullptr);
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"slash", WS_POPUP,
                            rect.x, rect.y, std::max(1, rect.width), std::max(1, rect.height),
                            owner_, nullptr, instance_, this);
  if (window_ == nullptr) ThrowNoDisplay("cannot create the window");
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  UpdateWindow(window_);
}

void GdiBackend::SetBackground(EffectColor color) {
  if (background_ != nullptr && color == background_color_) return;
  if (background_ != nullptr) DeleteObject(background_);
  background_ = CreateSolidBrush(ToColorRef(color));
  if (background_ == nullptr) ThrowGdiFailure("cannot make the background brush");
  background_color_ = color;
}

HPEN GdiBackend::PenFor(EffectColor color) {
  auto found = pens_.find(color);
  if (found == pens_.end()) {
    const HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(color));
    if (pen == nullptr) ThrowGdiFailure("cannot make a line's pen");
    found = pens_.emplace(color, pen).first;
  }
  return found->second;
}

void GdiBackend::DrawPlacedLine(HDC dc, const PlacedLine& line) {
  const PixelLine& pixels = line.pixels;
  SelectObject(dc, PenFor(line.color));
  // GDI leaves a line's last pixel out; it is set on its own, so that both
  // ends are drawn as on the other platforms.
  MoveToEx(dc, pixels.x1, pixels.y1, nullptr);
  LineTo(dc, pixels.x2, pixels.y2);
  SetPixelV(dc, pixels.x2, pixels.y2, ToColorRef(line.color));
}

void GdiBackend::DrawLine(const EffectScene& scene, std::size_t index) {
  const HDC dc = GetDC(window_);
  if (dc == nullptr) ThrowGdiFailure("cannot draw on the window");
  if (const auto line = PlacedLineAt(scene, index, scene.width, scene.height)) {
    DrawPlacedLine(dc, *line);
  }
  ReleaseDC(window_, dc);
  GdiFlush();
}

void GdiBackend::Repaint(const EffectScene& scene) {
  SetBackground(scene.background);
  InvalidateRect(window_, nullptr, TRUE);
  UpdateWindow(window_);
  GdiFlush();
}

void GdiBackend::Paint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  if (shown_ != nullptr) {
    for (const PlacedLine& line : PlacedLines(*shown_, shown_->width, shown_->height)) {
      DrawPlacedLine(dc, line);
    }
  }
  EndPaint(window_, &paint);
}

LRESULT CALLBACK GdiBackend::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    // The window reaches its back end through its user data.
    auto* owner =
        static_cast<GdiBackend*>(reinterpret_cast<const CREATESTRUCTW*>(l)->lpCreateParams);
    owner->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
  }
  auto* self = reinterpret_cast<GdiBackend*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) return DefWindowProcW(window, message, w, l);
  return self->Handle(message, w, l);
}

LRESULT GdiBackend::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT all;
      GetClientRect(window_, &all);
      FillRect(reinterpret_cast<HDC>(w), &all, background_);
      return 1;
    }
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SETCURSOR:
      // Over the window the pointer is hidden; elsewhere (never, once full
      // screen) the system's own.
      if (LOWORD(l) != HTCLIENT) return DefWindowProcW(window_, message, w, l);
      SetCursor(nullptr);
      return TRUE;
    case WM_SIZE:
      reported_size_ = ScreenSize{LOWORD(l), HIWORD(l)};
      return 0;
    case WM_CLOSE:  // Alt+F4 and the task manager's close
      closed_ = true;
      return 0;
    case WM_ENDSESSION:
      if (w != 0) closed_ = true;
      return 0;
    default:
      return DefWindowProcW(window_, message, w, l);
  }
}

void GdiBackend::ArmTimer(Clock::time_point due) {
  // A negative due time is relative, in 100 ns units: from now on the
  // steady clock to the tick's absolute due time, so no wait adds drift.
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(due - Clock::now());
  LARGE_INTEGER relative;
  relative.QuadPart = -std::max<long long>(1, left.count() / 100);
  if (!SetWaitableTimer(timer_, &relative, 0, nullptr, nullptr, FALSE)) {
    ThrowGdiFailure("cannot arm the tick timer");
  }
}

bool GdiBackend::WaitUntil(Clock::time_point due) {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) closed_ = true;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (closed_) return false;
    if (Clock::now() >= due) return true;
    ArmTimer(due);
    MsgWaitForMultipleObjects(1, &timer_, FALSE, INFINITE, QS_ALLINPUT);
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenGdiBackend() {
  return std::make_unique<GdiBackend>();
}

}  // namespace slash
