// Floor for tick lateness: the least a loop can be late, sleeping to absolute
// deadlines on the monotonic clock, 125 ms apart, for a default run's 33 ticks.
// Prints the same stamps as the benchmark build of slash.

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 33;
  constexpr long long kInterval = 125000000LL;
  const long long start = Now();
  std::fprintf(stderr, "slash-bench load 0 %lld\n", start);
  for (int k = 1; k <= ticks; ++k) {
    const long long due = start + k * kInterval;
    const timespec deadline{static_cast<time_t>(due / 1000000000LL),
                            static_cast<long>(due % 1000000000LL)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    std::fprintf(stderr, "slash-bench tick %d %lld\n", k, Now());
  }
  std::fprintf(stderr, "slash-bench end %d %lld\n", ticks, Now());
  return 0;
}
