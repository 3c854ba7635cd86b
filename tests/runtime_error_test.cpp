#include "runtime/runtime_error.h"

#include <gtest/gtest.h>

namespace slash {
namespace {

// Every error is one line on stderr: the effect's lead with their title,
// a host's failure is its own words, with the status its host chose.
TEST(ErrorReportLine, IsOneLineWithTheTitleOrTheHostsWords) {
  const struct {
    RuntimeError error;
    const char* program;
    const char* line;
    int status;
  } cases[] = {
      {RuntimeError(RuntimeErrorKind::kOverflow, "the number \"1e12\""), "slash",
       "slash: run-time error: Overflow: the number \"1e12\"", kStatusEffectError},
      {RuntimeError(RuntimeErrorKind::kFloatFault), "slash-trace",
       "slash-trace: run-time error: Floating-point fault", kStatusEffectError},
      {RuntimeError::HostFailure("cannot open the X display \":9\"", kStatusNoDisplay), "slash",
       "slash: cannot open the X display \":9\"", kStatusNoDisplay},
      {RuntimeError::HostFailure("the server said:\nno\r\tway\x01\x7F", kStatusDisplayLost),
       "slash", "slash: the server said:\\nno\\r\\tway\\x01\\x7F", kStatusDisplayLost},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorReportLine(c.error, c.program), c.line);
    EXPECT_EQ(c.error.exit_status(), c.status) << c.line;
  }
  EXPECT_EQ(EscapeControls("naïve ok"), "naïve ok") << "only controls are escaped, UTF-8 stays";
}

}  // namespace
}  // namespace slash
