#pragma once

#include <stdexcept>
#include <string>

namespace slash {

// The errors the program can raise. None of them is handled inside the
// effect: each one travels up to main, which reports it and exits.
enum class RuntimeErrorKind {
  kOverflow,         // a 32-bit or 16-bit integer conversion or step overflowed
  kFloatFault,       // a height product raised an invalid, divide or overflow fault
  kPropertyFailure,  // a read or write of a screen, window or line property failed
  kNoDisplay,        // no display, window or renderer: the effect never started
  kOutputFailure,    // a file the caller asked for (slash-trace's frames) not written
};

// The one exception type of the program. what() is the report text, for
// example "Overflow: the number 1e12 does not fit in a 32-bit count". The
// run-time errors of the effect lead with their title; the others are the
// detail alone ("cannot create the window: ...").
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(RuntimeErrorKind kind, const std::string& detail = {});

  RuntimeErrorKind kind() const { return kind_; }

 private:
  RuntimeErrorKind kind_;
};

// The report title of an error kind: "Overflow", "Floating-point fault", ...
const char* ErrorTitle(RuntimeErrorKind kind);

// Whether an error is one of the effect's run-time errors (overflow, float
// fault, property failure), as opposed to the display or an output failing.
bool IsEffectError(RuntimeErrorKind kind);

// The one line the program prints on stderr for an error:
// "slash: run-time error: Overflow: ..." or "slash: cannot create the window: ...".
std::string ErrorReportLine(const RuntimeError& error);

}  // namespace slash
