#include "window/wayland/wayland_socket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace slash {

std::string WaylandSocketPath(const std::string& display, const EnvironmentLookup& environment) {
  if (!display.empty() && display.front() == '/') return display;
  const std::string runtime_dir = environment("XDG_RUNTIME_DIR");
  if (runtime_dir.empty()) return "";
  return runtime_dir + "/" + display;
}

bool WaylandDisplayReachable(const EnvironmentLookup& environment) {
  const std::string display = environment("WAYLAND_DISPLAY");
  if (display.empty()) return false;
  const std::string path = WaylandSocketPath(display, environment);
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool reached =
      connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return reached;
}

}  // namespace slash
