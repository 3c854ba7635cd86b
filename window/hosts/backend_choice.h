#pragma once

#include <memory>

#include "window/window_backend.h"

namespace slash {

// The back ends there are; each platform builds its own and chooses among
// them in its own backend_choice.cpp.
enum class BackendKind { kX11, kWayland, kTerminal, kGdi };

// The choice for this process, from what its platform offers it.
BackendKind ChooseProcessBackend();

std::unique_ptr<WindowBackend> OpenBackend(BackendKind kind);

}  // namespace slash
