#pragma once

#include <stdexcept>
#include <string>

namespace slash {

// The run-time errors the program can raise. None of them is handled inside
// the effect: each one travels up to main, which reports it and exits.
enum class RuntimeErrorKind {
  kOverflow,         // a 32-bit or 16-bit integer conversion or step overflowed
  kFloatFault,       // a height product raised an invalid, divide or overflow fault
  kPropertyFailure,  // a read or write of a screen, window or line property failed
};

// The one exception type of the program. what() is the report text,
// for example "Overflow" or "Overflow: 1e12 does not fit in a line count".
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(RuntimeErrorKind kind, const std::string& detail = {});

  RuntimeErrorKind kind() const { return kind_; }

 private:
  RuntimeErrorKind kind_;
};

// The report title of an error kind: "Overflow", "Floating-point fault", ...
const char* ErrorTitle(RuntimeErrorKind kind);

// The one line the program prints on stderr for an error:
// "slash: run-time error: Overflow".
std::string ErrorReportLine(const RuntimeError& error);

}  // namespace slash
