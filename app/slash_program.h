#pragma once

#include <functional>
#include <memory>

namespace slash {

class WindowBackend;

// Lets a caller put its own back end around the one the session chose (the
// benchmark stamps the ticks this way). The result must forward to `inner`.
using BackendWrapper =
    std::function<std::unique_ptr<WindowBackend>(std::unique_ptr<WindowBackend> inner)>;

// The whole slash program: --help and --version, or the effect on the
// session's display. Returns the exit status; every error is one line on
// stderr.
int SlashMain(int argc, char** argv, const BackendWrapper& wrap = {});

}  // namespace slash
