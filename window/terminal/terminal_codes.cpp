#include "window/terminal/terminal_codes.h"

#include <algorithm>
#include <cctype>

#include "runtime/runtime_error.h"

// terminfo's header defines macros named after its capabilities (lines,
// columns, ...), so it comes last and only here.
#include <term.h>

namespace slash {
namespace {

[[noreturn]] void Refuse(const std::string& why) {
  throw RuntimeError::HostFailure("cannot show the effect on this terminal: " + why,
                                  kStatusNoDisplay);
}

// A capability's string, or `fallback` where the entry has none.
std::string Capability(const char* name, const char* fallback) {
  const char* value = tigetstr(name);
  if (value == nullptr || value == reinterpret_cast<const char*>(-1)) return fallback;
  return value;
}

bool TrueColor(const EnvironmentLookup& environment) {
  const std::string said = environment("COLORTERM");
  return said == "truecolor" || said == "24bit" || tigetnum("colors") >= (1 << 24);
}

}  // namespace

bool LocaleIsUtf8(const EnvironmentLookup& environment) {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    std::string value = environment(name);
    if (value.empty()) continue;
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return value.find("utf-8") != std::string::npos || value.find("utf8") != std::string::npos;
  }
  return false;
}

TerminalCodes ReadTerminalCodes(int fd, const EnvironmentLookup& environment) {
  const std::string term = environment("TERM");
  if (term.empty()) Refuse("TERM is not set");
  int found = 0;
  if (setupterm(term.c_str(), fd, &found) != 0 || found != 1) {
    Refuse("terminfo does not know the terminal type \"" + term + "\"");
  }
  const std::string move = Capability("cup", "");
  if (move.empty()) Refuse("the terminal type \"" + term + "\" cannot move its cursor");
  TerminalCodes codes;
  codes.enter = Capability("smcup", "\x1b[?1049h") + Capability("civis", "\x1b[?25l") +
                Capability("rmam", "\x1b[?7l");
  codes.leave = Capability("sgr0", "\x1b[m") + Capability("cnorm", "\x1b[?25h") +
                Capability("smam", "\x1b[?7h") + Capability("rmcup", "\x1b[?1049l");
  codes.encoding.true_color = TrueColor(environment);
  codes.encoding.blocks = LocaleIsUtf8(environment);
  codes.encoding.move = [move](int row, int column) {
    return std::string(tiparm(move.c_str(), row, column));
  };
  // terminfo's repeat names the character itself, one byte; where it is
  // that character followed by a control, the control repeats whatever was
  // written last, a block glyph too.
  const std::string repeat = Capability("rep", "");
  if (!repeat.empty() && std::string(tiparm(repeat.c_str(), 'X', 2)).rfind('X', 0) == 0) {
    codes.encoding.repeat = [repeat](int more) {
      return std::string(tiparm(repeat.c_str(), 'X', more + 1)).substr(1);
    };
  }
  // Everything needed is copied out; the entry's memory goes back before
  // the pictures are drawn.
  del_curterm(cur_term);
  return codes;
}

}  // namespace slash
