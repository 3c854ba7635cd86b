#include "x_display.h"

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <csignal>
#include <thread>

namespace slash::testing {
namespace {

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

// The dummy driver's first two outputs as two monitors side by side; the
// right one is primary. "Enable" switches on an output the driver reports
// as disconnected.
constexpr char kTwoMonitorConfig[] = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 32768
  Option "Monitor-DUMMY0" "left"
  Option "Monitor-DUMMY1" "right"
EndSection
Section "Monitor"
  Identifier "left"
  Modeline "960x600" 46.50 960 1000 1096 1232 600 603 609 630 -hsync +vsync
  Option "PreferredMode" "960x600"
  Option "Position" "0 0"
  Option "Enable" "true"
EndSection
Section "Monitor"
  Identifier "right"
  Modeline "960x600" 46.50 960 1000 1096 1232 600 603 609 630 -hsync +vsync
  Option "PreferredMode" "960x600"
  Option "Position" "960 0"
  Option "Primary" "true"
  Option "Enable" "true"
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "left"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 1920 600
  EndSubSection
EndSection
)";

}  // namespace

TestDisplay::TestDisplay(int width, int height, bool with_window_manager, int depth,
                         bool second_screen) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                   "-screen",   "0",          screen,
                                   "-nolisten", "tcp",        "-noreset"};
  if (second_screen) argv.insert(argv.end(), {"-screen", "1", "320x200x24"});
  server_ = std::make_unique<ChildProcess>(argv);
  close(fds[1]);
  Ready(fds[0], with_window_manager);
}

TestDisplay::TestDisplay(TwoMonitors, bool with_window_manager) {
  char dir[] = "/tmp/slash-xorg-XXXXXX";
  if (mkdtemp(dir) == nullptr) return;
  config_dir_ = dir;
  std::ofstream(config_dir_ + "/xorg.conf") << kTwoMonitorConfig;
  int fds[2];
  if (pipe(fds) != 0) return;
  server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      "Xorg", "-displayfd", std::to_string(fds[1]), "-config", config_dir_ + "/xorg.conf", "-seat",
      "seat1", "-noreset", "-nolisten", "tcp", "-logfile", config_dir_ + "/xorg.log"});
  close(fds[1]);
  Ready(fds[0], with_window_manager);
}

void TestDisplay::Ready(int fd, bool with_window_manager) {
  const std::string number = ReadDisplayNumber(fd);
  close(fd);
  if (number.empty()) return;
  // The server draws what the tests watch: where allowed (root) it runs
  // ahead of whatever else keeps the machine busy, as display servers do.
  setpriority(PRIO_PROCESS, static_cast<id_t>(server_->pid()), -10);
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

TestDisplay::~TestDisplay() {
  panel_.reset();
  window_manager_.reset();
  Stop();
}

void TestDisplay::Stop() {
  if (server_) {
    server_->Signal(SIGCONT);
    server_->Signal(SIGTERM);
    server_->WaitFor(5000);
    server_.reset();
  }
  if (name_.empty()) return;
  const std::string number = name_.substr(1);
  unlink(("/tmp/.X11-unix/X" + number).c_str());
  unlink(("/tmp/.X" + number + "-lock").c_str());
  if (!config_dir_.empty()) std::filesystem::remove_all(config_dir_);
}

bool TestDisplay::WaitForWindowManager() const {
  for (int i = 0; i < 200; ++i) {
    if (Query({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
        std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

std::string TestDisplay::Query(const std::vector<std::string>& argv) const {
  return RunProcess(argv, env()).out;
}

void TestDisplay::Kill() {
  if (server_) server_->Signal(SIGKILL);
  if (server_) server_->WaitFor(2000);
}

void TestDisplay::Pause(bool paused) {
  if (server_) server_->Signal(paused ? SIGSTOP : SIGCONT);
}

}  // namespace slash::testing
