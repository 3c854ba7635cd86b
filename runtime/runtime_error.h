#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/exit_status.h"

namespace slash {

// The errors the program can raise. None of them is handled inside the
// effect: each one travels up to main, which reports it and exits.
enum class RuntimeErrorKind {
  kOverflow,         // a 32-bit or 16-bit integer conversion or step overflowed
  kFloatFault,       // a height product raised an invalid, divide or overflow fault
  kPropertyFailure,  // a read or write of a screen, window or line property failed
  kHostFailure,      // the host failed (a display, a file): it says which status
};

// The one exception type of the program. what() is the report text, for
// example "Overflow: the number \"1e12\" does not fit in a 32-bit count". The
// effect's errors lead with their title and end the program with status 1;
// a host's failure is its detail alone ("cannot open the X display \":9\"")
// with the exit status the host chose.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(RuntimeErrorKind kind, const std::string& detail = {});
  // A host's failure and the status the program ends with.
  static RuntimeError HostFailure(const std::string& detail, int exit_status);

  RuntimeErrorKind kind() const { return kind_; }
  int exit_status() const { return exit_status_; }

 private:
  RuntimeError(RuntimeErrorKind kind, const std::string& detail, int exit_status);

  RuntimeErrorKind kind_;
  int exit_status_;
};

// Raises the display-lost failure (status 4) with `why` as its line.
[[noreturn]] void ThrowDisplayLost(const std::string& why = "lost the connection to the display");

// Whether an error is one of the effect's run-time errors (overflow, float
// fault, property failure), as opposed to a failure of the host.
bool IsEffectError(RuntimeErrorKind kind);

// The one line a program prints on stderr for an error:
// "slash: run-time error: Overflow: ..." or "slash: cannot open the X display ...".
// Control characters in the text (a display server's own reason may hold
// some) are escaped, so the report is always one line.
std::string ErrorReportLine(const RuntimeError& error, const std::string& program = "slash");

// The one line for any other exception that reaches main (`error` is null
// for one that is no std::exception): "slash: run-time error: out of
// memory" for a failed allocation. The program then ends with status 1.
std::string UnexpectedErrorLine(const std::exception* error, const std::string& program = "slash");

// Text with its control characters written as \n, \t, \r or \xHH.
std::string EscapeControls(std::string_view text);

}  // namespace slash
