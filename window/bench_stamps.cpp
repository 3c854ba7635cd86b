#include "window/bench_stamps.h"

#ifdef SLASH_BENCH_STAMPS
#include <time.h>

#include <cstdio>

namespace slash {

void BenchStamp(const char* event, long long index) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "slash-bench %s %lld %lld\n", event, index,
               static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
}

}  // namespace slash
#endif
