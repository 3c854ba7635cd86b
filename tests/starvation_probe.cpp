#include "starvation_probe.h"

#include <chrono>
#include <cstdio>

namespace slash::testing {

StarvationProbe::StarvationProbe() {
  thread_ = std::thread([this] {
    using Clock = std::chrono::steady_clock;
    constexpr auto kPeriod = std::chrono::milliseconds(5);
    auto due = Clock::now() + kPeriod;
    while (!stop_.load()) {
      std::this_thread::sleep_until(due);
      const auto late = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - due);
      if (late.count() > worst_late_us_.load()) worst_late_us_.store(late.count());
      due = Clock::now() + kPeriod;
    }
  });
}

StarvationProbe::~StarvationProbe() {
  stop_.store(true);
  thread_.join();
}

std::optional<std::string> StarvationProbe::NotJudged(double bound_ms) const {
  return testing::NotJudged(worst_late_ms(), bound_ms);
}

namespace {

// "not judged: " + `what` (which holds the figure) + the bound, when the
// figure is past the bound.
std::optional<std::string> PastBound(const char* what, double figure_ms, double bound_ms) {
  if (figure_ms <= bound_ms) return std::nullopt;
  char figure[120];
  std::snprintf(figure, sizeof figure, what, figure_ms);
  char text[200];
  std::snprintf(text, sizeof text,
                "not judged: %s, past the %.1f ms this check judges (a starved machine)", figure,
                bound_ms);
  return text;
}

}  // namespace

std::optional<std::string> NotJudged(double worst_late_ms, double bound_ms) {
  return PastBound("the harness's own wake-ups came up to %.1f ms late during the run",
                   worst_late_ms, bound_ms);
}

std::optional<std::string> NotJudged(double worst_late_ms, std::optional<double> processor_wait_ms,
                                     double bound_ms) {
  if (auto harness = NotJudged(worst_late_ms, bound_ms)) return harness;
  if (!processor_wait_ms) return std::nullopt;
  return PastBound("slash waited %.1f ms at a stretch for a processor", *processor_wait_ms,
                   bound_ms);
}

}  // namespace slash::testing
