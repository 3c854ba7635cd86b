#pragma once

// Timestamps for the benchmark build of slash (compiled with
// SLASH_BENCH_STAMPS): one line "slash-bench EVENT INDEX NANOSECONDS" on
// stderr per event, on the monotonic clock. In every other build the calls
// compile to nothing.

namespace slash {

#ifdef SLASH_BENCH_STAMPS
void BenchStamp(const char* event, long long index = 0);
#else
inline void BenchStamp(const char* /*event*/, long long /*index*/ = 0) {}
#endif

}  // namespace slash
