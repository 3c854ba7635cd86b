#include "runtime/runtime_error.h"

#include <cstdio>
#include <new>

namespace slash {
namespace {

// The report title of an error kind: "Overflow", "Floating-point fault", ...
const char* ErrorTitle(RuntimeErrorKind kind) {
  switch (kind) {
    case RuntimeErrorKind::kOverflow:
      return "Overflow";
    case RuntimeErrorKind::kFloatFault:
      return "Floating-point fault";
    case RuntimeErrorKind::kPropertyFailure:
      return "Property access failed";
    case RuntimeErrorKind::kHostFailure:
      return "Host failure";
  }
  return "Unknown error";
}

std::string ReportText(RuntimeErrorKind kind, const std::string& detail) {
  if (!IsEffectError(kind) && !detail.empty()) return detail;
  std::string text = ErrorTitle(kind);
  if (!detail.empty()) text += ": " + detail;
  return text;
}

}  // namespace

[[noreturn]] void ThrowDisplayLost(const std::string& why) {
  throw RuntimeError::HostFailure(why, kStatusDisplayLost);
}

bool IsEffectError(RuntimeErrorKind kind) {
  return kind != RuntimeErrorKind::kHostFailure;
}

std::string ErrorReportLine(const RuntimeError& error, const std::string& program) {
  const char* lead = IsEffectError(error.kind()) ? ": run-time error: " : ": ";
  return program + lead + EscapeControls(error.what());
}

std::string UnexpectedErrorLine(const std::exception* error, const std::string& program) {
  std::string what = "an unknown failure";
  if (dynamic_cast<const std::bad_alloc*>(error) != nullptr) {
    what = "out of memory";
  } else if (error != nullptr) {
    what = error->what();
  }
  return program + ": run-time error: " + EscapeControls(what);
}

std::string EscapeControls(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      escaped += code;
    }
  }
  return escaped;
}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail)
    : RuntimeError(kind, detail, kStatusEffectError) {}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail, int exit_status)
    : std::runtime_error(ReportText(kind, detail)), kind_(kind), exit_status_(exit_status) {}

RuntimeError RuntimeError::HostFailure(const std::string& detail, int exit_status) {
  return RuntimeError(RuntimeErrorKind::kHostFailure, detail, exit_status);
}

}  // namespace slash
