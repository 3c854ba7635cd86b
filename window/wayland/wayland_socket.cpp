#include "window/wayland/wayland_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace slash {
namespace {

constexpr int kProbeMs = 200;

}  // namespace

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
  // Never blocking: a compositor whose backlog is full, or that has stopped
  // accepting, would hold a blocking connect for ever. A local socket
  // answers at once or says EAGAIN; anything in progress gets a moment.
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (probe < 0) return false;
  bool reached = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!reached && errno == EINPROGRESS) {
    pollfd connecting{probe, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    reached = poll(&connecting, 1, kProbeMs) == 1 &&
              getsockopt(probe, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  close(probe);
  return reached;
}

}  // namespace slash
