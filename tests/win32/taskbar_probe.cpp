// Counts the buttons of the task bar while a program runs, on a desktop
// whose shell draws one (Wine's virtual desktop named "shell"):
//   taskbar_probe PROGRAM [WORD...]
// prints "before N most M own K": the buttons before the program starts,
// the most seen while it ran, and how many a plain window of the probe's
// own adds (so that a count that cannot change is noticed).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

int CountButtons(HWND tray) {
  int count = 0;
  EnumChildWindows(
      tray,
      [](HWND child, LPARAM counted) -> BOOL {
        wchar_t name[32];
        if (IsWindowVisible(child) && GetClassNameW(child, name, 32) > 0 &&
            lstrcmpiW(name, L"Button") == 0) {
          ++*reinterpret_cast<int*>(counted);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

// After its program name, the probe's own command line is the program's.
std::wstring ProgramCommandLine() {
  const wchar_t* text = GetCommandLineW();
  const bool quoted = *text == L'"';
  if (quoted) ++text;
  while (*text != L'\0' && (quoted ? *text != L'"' : *text != L' ')) ++text;
  if (quoted && *text == L'"') ++text;
  while (*text == L' ') ++text;
  return text;
}

}  // namespace

int main() {
  HWND tray = nullptr;
  for (int i = 0; i < 200 && tray == nullptr; ++i, Sleep(50)) {
    tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  }
  if (tray == nullptr) {
    std::puts("no task bar");
    return 2;
  }
  Sleep(500);  // the bar settles
  const int before = CountButtons(tray);
  std::wstring command = ProgramCommandLine();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::puts("cannot start the program");
    return 2;
  }
  int most = before;
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    most = std::max(most, CountButtons(tray));
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const HWND own = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                   100, 100, nullptr, nullptr, nullptr, nullptr);
  int with_own = before;
  for (int i = 0; i < 40 && with_own == before; ++i, Sleep(50)) with_own = CountButtons(tray);
  DestroyWindow(own);
  std::printf("before %d most %d own %d\n", before, most, with_own - before);
  return 0;
}
