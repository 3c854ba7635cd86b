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
    case RuntimeErrorKind::kHostFailure:
      return "Host failure";
  }
  return "Unknown error";
}

bool IsEffectError(RuntimeErrorKind kind) {
  return kind != RuntimeErrorKind::kHostFailure;
}

std::string ErrorReportLine(const RuntimeError& error, const std::string& program) {
  const char* lead = IsEffectError(error.kind()) ? ": run-time error: " : ": ";
  return program + lead + error.what();
}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail)
    : RuntimeError(kind, detail, kEffectErrorStatus) {}

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail, int exit_status)
    : std::runtime_error(ReportText(kind, detail)), kind_(kind), exit_status_(exit_status) {}

RuntimeError RuntimeError::HostFailure(const std::string& detail, int exit_status) {
  return RuntimeError(RuntimeErrorKind::kHostFailure, detail, exit_status);
}

}  // namespace slash
