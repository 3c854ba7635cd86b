#include "x_display.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace slash::testing {
namespace {

std::uint32_t BigEndian32(const std::string& data, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
  return value;
}

int MaskShift(std::uint32_t mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
  return shift;
}

// Reads the display number Xvfb writes to -displayfd, or "" on a timeout.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  pollfd poller{fd, POLLIN, 0};
  while (poll(&poller, 1, 10000) > 0) {
    char c = 0;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  return number;
}

}  // namespace

bool DecodeXwd(const std::string& data, Screenshot& shot) {
  if (data.size() < 100) return false;
  const std::uint32_t header_size = BigEndian32(data, 0);
  const std::uint32_t width = BigEndian32(data, 16);
  const std::uint32_t height = BigEndian32(data, 20);
  const std::uint32_t byte_order = BigEndian32(data, 28);
  const std::uint32_t bits_per_pixel = BigEndian32(data, 44);
  const std::uint32_t bytes_per_line = BigEndian32(data, 48);
  const std::uint32_t red_mask = BigEndian32(data, 56);
  const std::uint32_t green_mask = BigEndian32(data, 60);
  const std::uint32_t blue_mask = BigEndian32(data, 64);
  const std::uint32_t colors = BigEndian32(data, 76);
  const std::size_t image = header_size + static_cast<std::size_t>(colors) * 12;
  if (bits_per_pixel != 32 || data.size() < image + std::size_t{bytes_per_line} * height) {
    return false;
  }
  shot.width = static_cast<int>(width);
  shot.height = static_cast<int>(height);
  shot.pixels.assign(std::size_t{width} * height, 0);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::size_t at = image + std::size_t{y} * bytes_per_line + x * 4;
      std::uint32_t pixel = 0;
      for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(data[at + (byte_order == 0 ? 3 - i : i)]);
        pixel = (pixel << 8) | byte;
      }
      const std::uint32_t r = (pixel & red_mask) >> MaskShift(red_mask);
      const std::uint32_t g = (pixel & green_mask) >> MaskShift(green_mask);
      const std::uint32_t b = (pixel & blue_mask) >> MaskShift(blue_mask);
      shot.pixels[std::size_t{y} * width + x] = (b << 16) | (g << 8) | r;
    }
  }
  return true;
}

XvfbDisplay::XvfbDisplay(int width, int height, bool with_window_manager) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                               "-nolisten", "tcp", "-noreset"});
  close(fds[1]);
  const std::string number = ReadDisplayNumber(fds[0]);
  close(fds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  // A root that is neither black nor any effect colour, so that the test
  // can tell the window from the bare screen.
  RunProcess({"xsetroot", "-solid", "#203040"}, env());
  if (!with_window_manager) return;
  window_manager_ =
      std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"}, env());
  if (!WaitForWindowManager()) {
    name_.clear();
    return;
  }
  panel_ =
      std::make_unique<ChildProcess>(std::vector<std::string>{"tint2", "-c", SLASH_TINT2RC}, env());
  // Give the panel time to map and reserve its strut.
  for (int i = 0; i < 100 && Query({"xdotool", "search", "--class", "tint2"}).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

XvfbDisplay::~XvfbDisplay() {
  panel_.reset();
  window_manager_.reset();
  server_.reset();
}

bool XvfbDisplay::WaitForWindowManager() const {
  for (int i = 0; i < 200; ++i) {
    if (Query({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
        std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

bool XvfbDisplay::Capture(Screenshot& shot) const {
  const ProcessResult dump = RunProcess({"xwd", "-root", "-silent"}, env());
  return dump.status == 0 && DecodeXwd(dump.out, shot);
}

std::string XvfbDisplay::Query(const std::vector<std::string>& argv) const {
  return RunProcess(argv, env()).out;
}

void XvfbDisplay::Kill() {
  if (server_) server_->Signal(SIGKILL);
  if (server_) server_->WaitFor(2000);
}

}  // namespace slash::testing
