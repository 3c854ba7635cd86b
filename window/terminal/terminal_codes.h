#pragma once

#include <string>

#include "runtime/environment.h"
#include "window/terminal/terminal_picture.h"

namespace slash {

// What the effect sends a terminal besides its cells, from the terminal's
// terminfo entry where it has the string, else the ANSI one.
struct TerminalCodes {
  std::string enter;  // the alternate screen, the cursor hidden, auto-wrap off
  std::string leave;  // attributes off, the cursor shown, auto-wrap on, the normal screen
  CellEncoding encoding;
};

// The codes for the terminal TERM names, open on `fd`, in the session's
// locale and colour support. Raises the no-display failure for a terminal
// that terminfo does not know or that cannot address its cursor.
TerminalCodes ReadTerminalCodes(int fd, const EnvironmentLookup& environment);

// Whether the locale (the first of LC_ALL, LC_CTYPE and LANG that is set)
// writes characters in UTF-8.
bool LocaleIsUtf8(const EnvironmentLookup& environment);

}  // namespace slash
