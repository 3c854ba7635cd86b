#include "fake_x_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace slash::testing {
namespace {

// An abstract socket address ("\0/tmp/.X11-unix/XN"): no file to remove.
socklen_t DisplayAddress(int number, bool abstract, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
  const std::size_t offset = abstract ? 1 : 0;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                (abstract ? 0 : 1));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = send(fd, data, size, MSG_NOSIGNAL);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Waits until `fd` is readable or the wake pipe is; false on the latter.
bool WaitReadable(int fd, int wake) {
  pollfd fds[] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
  return poll(fds, 2, -1) > 0 && (fds[1].revents & POLLIN) == 0;
}

}  // namespace

FakeXServer::FakeXServer(Behaviour behaviour, const std::string& reason_or_upstream)
    : behaviour_(behaviour), argument_(reason_or_upstream) {
  if (pipe(wake_) != 0) return;
  for (int number = 600 + getpid() % 200; number < 1000; ++number) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    const socklen_t length = DisplayAddress(number, true, address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd, 4) == 0) {
      listener_ = fd;
      name_ = ":" + std::to_string(number);
      break;
    }
    close(fd);
  }
  if (listener_ >= 0) thread_ = std::thread([this] { Serve(); });
}

FakeXServer::~FakeXServer() {
  if (thread_.joinable()) {
    (void)!write(wake_[1], "x", 1);
    thread_.join();
  }
  for (const int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
}

void FakeXServer::Serve() {
  while (WaitReadable(listener_, wake_[0])) {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    if (behaviour_ == Behaviour::kProxy) {
      Pass(client);
    } else {
      Answer(client);
    }
    close(client);
  }
}

void FakeXServer::Answer(int client) {
  if (behaviour_ == Behaviour::kGarbage) {
    const std::string garbage(64, '\x7f');
    WriteAll(client, garbage.data(), garbage.size());
  }
  if (behaviour_ == Behaviour::kRefuse && WaitReadable(client, wake_[0])) {
    char request[512];
    (void)!read(client, request, sizeof request);  // the set-up request, sent whole
    // Failed: the reason's length, protocol 11.0, the reason in 4-byte units.
    std::string reason = argument_;
    reason.resize((reason.size() + 3) / 4 * 4, '\0');
    const char header[8] = {0, static_cast<char>(argument_.size()),  11, 0, 0,
                            0, static_cast<char>(reason.size() / 4), 0};
    WriteAll(client, header, sizeof header);
    WriteAll(client, reason.data(), reason.size());
  }
  // Holds the connection open until the test ends, reading nothing more.
  pollfd wake{wake_[0], POLLIN, 0};
  poll(&wake, 1, -1);
}

void FakeXServer::Pass(int client) {
  const int upstream = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address;
  const socklen_t length = DisplayAddress(std::stoi(argument_.substr(1)), false, address);
  if (connect(upstream, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(upstream);
    return;
  }
  bool reading = true;
  std::vector<char> buffer(65536);
  for (;;) {
    if (reading && stop_reading_) {
      shutdown(client, SHUT_RD);
      reading = false;
    }
    pollfd fds[] = {
        {reading ? client : -1, POLLIN, 0}, {upstream, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 3, 20) < 0 || (fds[2].revents & POLLIN) != 0) break;
    if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t got = read(client, buffer.data(), buffer.size());
      if (got <= 0 || !WriteAll(upstream, buffer.data(), static_cast<std::size_t>(got))) break;
    }
    if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t got = read(upstream, buffer.data(), buffer.size());
      if (got <= 0 || !WriteAll(client, buffer.data(), static_cast<std::size_t>(got))) break;
    }
  }
  close(upstream);
}

}  // namespace slash::testing
