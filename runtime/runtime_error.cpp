#include "runtime/runtime_error.h"

namespace slash {
namespace {

std::string ReportText(RuntimeErrorKind kind, const std::string& detail) {
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
  }
  return "Unknown error";
}

std::string ErrorReportLine(const RuntimeError& error) {
  return std::string("slash: run-time error: ") + error.what();
}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail)
    : std::runtime_error(ReportText(kind, detail)), kind_(kind) {}

}  // namespace slash
