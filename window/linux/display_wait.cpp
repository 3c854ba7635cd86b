#include "window/linux/display_wait.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "runtime/runtime_error.h"
#include "window/linux/tick_timer.h"

namespace slash {

DisplayWake WaitForDisplay(int fd, bool want_write, TickTimer& timer,
                           std::chrono::steady_clock::time_point due) {
  timer.Arm(due);
  const short socket_events = static_cast<short>(POLLIN | (want_write ? POLLOUT : 0));
  pollfd watched[] = {{fd, socket_events, 0}, {timer.fd(), POLLIN, 0}};
  if (poll(watched, 2, -1) < 0) {
    if (errno == EINTR) return {};
    ThrowDisplayLost(std::string("cannot wait for the display: ") + std::strerror(errno));
  }
  if ((watched[1].revents & POLLIN) != 0) timer.Clear();
  return DisplayWake{(watched[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0,
                     (watched[0].revents & POLLOUT) != 0};
}

}  // namespace slash
