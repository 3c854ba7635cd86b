#include "runtime/runtime_error.h"

namespace slash {
namespace {

std::string ReportText(RuntimeErrorKind kind, const std::string& detail) {
  if (!IsEffectError(kind) && !detail.empty()) return detail;
  std::string text = ErrorTitle(kind);
  if (!detail.empty()) text += ": " + detail;
  return text;
}

}  // namespace

const char* ErrorTitle(RuntimeErrorKind kind) {
  switch (kind) {
    case RuntimeErrorKind::kOverflow:
      return "Overflow";
    case RuntimeErrorKind::kFloatFault:
      return "Floating-point fault";
    case RuntimeErrorKind::kPropertyFailure:
      return "Property access failed";
    case RuntimeErrorKind::kNoDisplay:
      return "No display";
    case RuntimeErrorKind::kOutputFailure:
      return "Output failed";
  }
  return "Unknown error";
}

bool IsEffectError(RuntimeErrorKind kind) {
  return kind == RuntimeErrorKind::kOverflow || kind == RuntimeErrorKind::kFloatFault ||
         kind == RuntimeErrorKind::kPropertyFailure;
}

std::string ErrorReportLine(const RuntimeError& error) {
  const char* lead = IsEffectError(error.kind()) ? "slash: run-time error: " : "slash: ";
  return lead + std::string(error.what());
}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail)
    : std::runtime_error(ReportText(kind, detail)), kind_(kind) {}

}  // namespace slash
