#pragma once

namespace slash {

// Every status the programs end with; the README's table lists them.
constexpr int kStatusDone = 0;           // the effect ran to its end, or its window was closed
constexpr int kStatusEffectError = 1;    // one of the effect's run-time errors
constexpr int kStatusOutputFailure = 2;  // text or frames that could not be written; a usage error
constexpr int kStatusNoDisplay = 3;      // no display, or none that completed the set-up
constexpr int kStatusDisplayLost = 4;    // the display went away mid-run, or stopped reading
// A process stopped by signal N ends with 128 + N, as a POSIX shell reports it.
constexpr int kStatusSignalBase = 128;

}  // namespace slash
