#include "app/process_setup.h"

#include <windows.h>

#include <cstdio>

#include "runtime/command_text.h"
#include "runtime/exit_status.h"

namespace slash {
namespace {

// Ctrl+C and Ctrl+Break from a console end the program at once with the
// status a POSIX shell gives SIGINT, as on the other platforms.
constexpr UINT kInterruptedStatus = kStatusSignalBase + 2;

BOOL WINAPI EndOnConsoleBreak(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) ExitProcess(kInterruptedStatus);
  return FALSE;
}

std::wstring Utf16FromUtf8(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

}  // namespace

// The C runtime opens the standard streams on whatever handles the process
// was given; there is nothing to reopen.
void OpenStandardDescriptors() {}

void ExitOnStopSignals() {
  SetConsoleCtrlHandler(&EndOnConsoleBreak, TRUE);
}

// Windows has no SIGPIPE: a write to a closed pipe fails with an error.
void EndRun(int status) {
  ExitProcess(static_cast<UINT>(status));
}

void IgnoreBrokenPipes() {}

std::string EffectCommandText(const std::vector<std::string>&, std::size_t skipped) {
  const wchar_t* whole = GetCommandLineW();
  const std::u16string_view text(reinterpret_cast<const char16_t*>(whole), std::wcslen(whole));
  return Utf8FromUtf16(TextAfterArguments(text, skipped));
}

void ReportErrorLine(const std::string& line) {
  // A console or a redirected stderr takes the line; a program started
  // from the desktop has neither, and its user sees a message box, as the
  // platform's run-time errors are shown.
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err != nullptr && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return;
  }
  MessageBoxW(nullptr, Utf16FromUtf8(line).c_str(), L"slash", MB_OK | MB_ICONERROR);
}

}  // namespace slash
