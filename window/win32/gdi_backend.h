#pragma once

#include <memory>

#include "window/window_backend.h"

namespace slash {

// The back end that shows the window on the Windows desktop, drawn by GDI.
// Raises the no-display failure when the window cannot be made.
std::unique_ptr<WindowBackend> OpenGdiBackend();

}  // namespace slash
