#include "app/program_info.h"

namespace slash {

std::string SlashHelp() {
  return R"(usage: slash [NUMBER ][TEXT...]
       slash --help | --version

Covers the primary screen with a borderless black window, waits 1.5 s, cuts
one straight line of the effect colour across it every 125 ms, floods the
screen with that colour and exits by itself 875 ms later.

The arguments are read as one text, joined with single spaces.
  NUMBER  A number N before the first space draws N + 1 lines, at most 100.
          A negative number draws none (-1 still floods). Text before the
          first space that is not a number counts as 0. Without any space,
          13 lines are drawn.
  colour  The first of red, yellow, blue, green, white found anywhere in the
          text, in that order and ignoring case. The default is red.

Timing: ticks every 125 ms; 12 ticks of delay, one line per tick, the
flood, and the end seven ticks (875 ms) later: 4.125 s for the default,
15 s for 100 lines.

Shows on a display: a Wayland compositor (WAYLAND_DISPLAY) when it answers,
else the X server (DISPLAY); with neither, on the terminal it was started
from, two pixels a character cell. SLASH_BACKEND=wayland, x11 or terminal
picks one whatever else is set.

To end it early, close its window (Alt+F4, or the window manager's close):
status 0; or press Ctrl+C in the terminal it was started from: status 130.
On a terminal, the terminal is given back as it was on every way out.

Exit status:
  0         the effect ran to its end, or its window was closed
  1         a run-time error (such as a count beyond 32 bits)
  2         --help or --version text that could not be written
  3         no display or terminal, a display that refused or did not
            answer, a terminal that cannot move its cursor, or the window
            could not be created
  4         the connection to the display (or the terminal) was lost
  129, 130, 131, 143
            stopped by SIGHUP, SIGINT, SIGQUIT (on a terminal) or SIGTERM

More in the manual: man slash
)";
}

std::string TraceHelp() {
  return R"(usage: slash-trace [--screen WxH] [--realtime] [--frames DIR] [--] [WORD...]
       slash-trace --help | --version

Runs the slash effect over a recording window, with no display, and prints
one JSON object per line on stdout: the load step, then one line per tick.
  --screen WxH   the primary screen's size (default 1920x1080)
  --realtime     pace the ticks at 125 ms and add "ms" to each line
  --frames DIR   also write each step as DIR/frame-NNNN.png, drawn as the
                 window draws it
  --             end of options; the words that follow are the command line
Options count only before the first word of the command line; there, a
word that begins with -- and is none of them is a usage error. A --frames
folder must not already hold frame-*.png files from another run.

Exit status: 0 at the effect's end, 1 on a run-time error, 2 on a usage
error or a frame that cannot be written.
)";
}

std::string VersionText(const std::string& program) {
  return program + " " + kVersion + "\n" + kDescription + "\n";
}

InfoRequest FindInfoRequest(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return InfoRequest::kNone;
  if (arguments[0] == "--help") return InfoRequest::kHelp;
  if (arguments[0] == "--version") return InfoRequest::kVersion;
  return InfoRequest::kNone;
}

}  // namespace slash
