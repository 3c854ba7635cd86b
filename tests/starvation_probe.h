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

// How long the process `pid` has waited for a processor while it was ready
// to run, from the kernel's scheduler statistics; nothing where the kernel
// keeps none. Read it from an exited child before reaping it (waitid with
// WNOWAIT): the harness's own wake-ups do not show a program that was ready
// and kept from running.
std::optional<double> ProcessorWaitMs(int pid);

// "not judged: ..." when the program itself waited for a processor past
// `bound_ms`.
std::optional<std::string> ProgramNotJudged(std::optional<double> processor_wait_ms,
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
