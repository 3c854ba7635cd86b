#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace slash {

// What differs between platforms in starting and ending the process; each
// platform has its own file of these.

// The command-line text T the effect reads, after the first `skipped`
// arguments (slash-trace's options): the arguments joined by single spaces
// where the system hands over an argument list, the raw text after them
// where it hands over the text as typed (Windows), so that spacing and
// quotes survive there, for slash-trace as for slash.
std::string EffectCommandText(const std::vector<std::string>& arguments, std::size_t skipped = 0);

// Reports one error line (no newline) where the user sees it: on standard
// error, or, on Windows when the program has none, in a message box.
void ReportErrorLine(const std::string& line);

// Makes sure descriptors 0, 1 and 2 are open before anything else is. A
// closed one is opened onto /dev/null, read-only: the next file or socket
// the program opens (such as the display connection) can then never land on
// it and receive text meant for stdout or stderr, and a write to it still
// fails as it would have on the closed descriptor, so lost output is noticed.
void OpenStandardDescriptors();

// Ends the process with status 128 + N on SIGINT or SIGTERM, at once and
// from inside the handler: nothing the program holds outlives it (a display
// server drops a client's windows when its connection closes), and it must
// end even while blocked on a display that does not answer. A signal that
// was ignored when the program started stays ignored, as a shell expects
// of a background job.
void ExitOnStopSignals();

// The run is over, with `status`: where taking the window down would only
// hold the end up (Windows: Wine blocks on it for about 2 s), the process
// ends here at once and the system takes the window with it; elsewhere
// this returns and the program ends as usual, as quickly.
void EndRun(int status);

// A write to a connection or pipe whose reader has gone fails with EPIPE
// instead of killing the process, so that a broken display connection or
// lost output is reported like any other failure.
void IgnoreBrokenPipes();

}  // namespace slash
