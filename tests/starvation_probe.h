#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace slash::testing {

// How late this test process's own wake-ups come. While it lives, a thread
// of the harness, at the scheduling priority slash runs at, sleeps 5 ms at
// a time and notes how late it woke. A timing or screen check whose
// harness woke later than the bound it judges cannot tell a slow program
// from a starved machine: it says so and is not judged.
// "not judged: ..." with the figure, when the harness woke up to
// `worst_late_ms` late, past `bound_ms`; nothing when it was on time.
std::optional<std::string> NotJudged(double worst_late_ms, double bound_ms);

// Either reason, the harness's first, for a run of slash the harness
// watched: its own wake-ups, or the longest stretch slash waited for a
// processor (ProcessorWaitFollower).
std::optional<std::string> NotJudged(double worst_late_ms, std::optional<double> processor_wait_ms,
                                     double bound_ms);

class StarvationProbe {
 public:
  StarvationProbe();
  ~StarvationProbe();
  StarvationProbe(const StarvationProbe&) = delete;
  StarvationProbe& operator=(const StarvationProbe&) = delete;

  double worst_late_ms() const { return worst_late_us_.load() / 1000.0; }

  std::optional<std::string> NotJudged(double bound_ms) const;

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> worst_late_us_{0};
  std::thread thread_;
};

}  // namespace slash::testing

// Skips the rest of a test whose harness was starved past `bound_ms`, with
// the figure, so that it counts as skipped, never as passed or failed.
#define SLASH_SKIP_IF_STARVED(probe, bound_ms)                     \
  do {                                                             \
    if (const auto why_not_judged = (probe).NotJudged(bound_ms)) { \
      GTEST_SKIP() << *why_not_judged;                             \
    }                                                              \
  } while (false)
