#pragma once

#include <memory>

#include "window/window_backend.h"

namespace slash {

// The effect on the controlling terminal, two pixels a character cell (one
// where the locale is not UTF-8). Raises the no-display failure when there
// is no terminal, or one that cannot address its cursor.
std::unique_ptr<WindowBackend> OpenTerminalBackend();

}  // namespace slash
