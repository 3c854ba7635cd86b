#include <string>

#include "runtime/runtime_error.h"
#include "window/hosts/linux/session_choice.h"
#include "window/terminal/terminal_backend.h"
#include "window/terminal/terminal_device.h"
#include "window/wayland/wayland_backend.h"
#include "window/wayland/wayland_socket.h"
#include "window/x11/x11_backend.h"

namespace slash {

BackendKind ChooseBackend(const EnvironmentLookup& environment,
                          const std::function<bool()>& wayland_reachable,
                          const std::function<bool()>& terminal_available) {
  const std::string chosen = environment("SLASH_BACKEND");
  if (chosen == "x11") return BackendKind::kX11;
  if (chosen == "wayland") return BackendKind::kWayland;
  if (chosen == "terminal") return BackendKind::kTerminal;
  if (!chosen.empty()) {
    throw RuntimeError::HostFailure(
        "unknown back end \"" + chosen + "\" in SLASH_BACKEND (wayland, x11 or terminal)",
        kStatusNoDisplay);
  }
  const bool wayland = !environment("WAYLAND_DISPLAY").empty();
  // A Wayland session usually sets DISPLAY too, for XWayland; the native
  // path is the direct one, and XWayland may not even be running yet.
  if (wayland && wayland_reachable()) return BackendKind::kWayland;
  if (!environment("DISPLAY").empty()) return BackendKind::kX11;
  if (wayland) return BackendKind::kWayland;
  if (terminal_available()) return BackendKind::kTerminal;
  throw RuntimeError::HostFailure(
      "no display to show the effect on (neither WAYLAND_DISPLAY nor DISPLAY is set)",
      kStatusNoDisplay);
}

BackendKind ChooseProcessBackend() {
  return ChooseBackend(
      ProcessEnvironment, [] { return WaylandDisplayReachable(ProcessEnvironment); },
      TerminalAvailable);
}

std::unique_ptr<WindowBackend> OpenBackend(BackendKind kind) {
  if (kind == BackendKind::kWayland) return OpenWaylandBackend();
  if (kind == BackendKind::kTerminal) return OpenTerminalBackend();
  return OpenX11Backend();
}

}  // namespace slash
