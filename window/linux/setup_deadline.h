#pragma once

#include <chrono>
#include <string>

namespace slash {

// A bound on how long a back end may take to reach its display. A server
// that accepts the connection and then never answers would otherwise hold
// the program in a blocking read for ever, where nothing but a signal can
// reach it. While armed, when `limit` passes, the process writes `report`
// as one line on the standard error it had when armed and ends at once with
// `exit_status`; nothing is on the screen yet, so there is nothing to undo.
// Disarmed when destroyed.
class SetupDeadline {
 public:
  SetupDeadline(std::chrono::seconds limit, const std::string& report, int exit_status);
  ~SetupDeadline();
  SetupDeadline(const SetupDeadline&) = delete;
  SetupDeadline& operator=(const SetupDeadline&) = delete;
};

// How long a display may take to complete the connection and answer the
// start-up questions.
constexpr std::chrono::seconds kDisplaySetupLimit{5};

// The deadline's line for a display that never answered, `display` naming
// it ("X display \":0\""): "slash: the X display ":0" did not answer in 5 s".
std::string NoAnswerReport(const std::string& display);

}  // namespace slash
