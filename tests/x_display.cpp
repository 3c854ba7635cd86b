#include "x_display.h"

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Whether a compositing manager owns the screen's _NET_WM_CM_S0 selection.
bool HasCompositor(const std::string& display) {
  int screen = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screen);
  bool owned = false;
  if (xcb_connection_has_error(c) == 0) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    auto* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    if (atom != nullptr) {
      auto* owner =
          xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
      owned = owner != nullptr && owner->owner != XCB_NONE;
      std::free(owner);
    }
    std::free(atom);
  }
  xcb_disconnect(c);
  return owned;
}

constexpr char kPicomSample[] = "/usr/share/doc/picom/examples/picom.sample.conf";

}  // namespace

TestDisplay::TestDisplay(int width, int height, bool with_window_manager, int depth,
                         bool second_screen, const std::vector<std::string>& server_options) {
  const std::string screen =
      std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  std::vector<std::string> argv = {"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  if (second_screen) argv.insert(argv.end(), {"-screen", "1", "320x200x24"});
  argv.insert(argv.end(), server_options.begin(), server_options.end());
  Ready(StartServer(argv), with_window_manager ? Desktop::kOpenbox : Desktop::kBare);
}

TestDisplay::TestDisplay(int width, int height, Desktop desktop,
                         const std::vector<std::string>& server_options) {
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<std::string> argv = {"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  argv.insert(argv.end(), server_options.begin(), server_options.end());
  Ready(StartServer(argv), desktop);
}

// Starts the server with -displayfd: it picks a free display number and
// writes it to the pipe whose reading end this returns (-1 on failure).
int TestDisplay::StartServer(std::vector<std::string> argv) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  argv.insert(argv.begin() + 1, {"-displayfd", std::to_string(fds[1])});
  server_ = std::make_unique<ChildProcess>(argv);
  close(fds[1]);
  return fds[0];
}

TestDisplay::TestDisplay(TwoMonitors, bool with_window_manager)
    : TestDisplay(TwoMonitors{}, with_window_manager ? Desktop::kOpenbox : Desktop::kBare) {}

TestDisplay::TestDisplay(TwoMonitors, Desktop desktop) {
  char dir[] = "/tmp/slash-xorg-XXXXXX";
  if (mkdtemp(dir) == nullptr) return;
  config_dir_ = dir;
  std::ofstream(config_dir_ + "/xorg.conf") << kTwoMonitorConfig;
  const int fd =
      StartServer({"Xorg", "-config", config_dir_ + "/xorg.conf", "-seat", "seat1", "-noreset",
                   "-nolisten", "tcp", "-logfile", config_dir_ + "/xorg.log"});
  Ready(fd, desktop);
}

void TestDisplay::Ready(int fd, Desktop desktop) {
  if (fd < 0) return;
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
  if (!StartDesktop(desktop)) name_.clear();
}

bool TestDisplay::StartDesktop(Desktop desktop) {
  if (desktop == Desktop::kBare) return true;
  if (desktop == Desktop::kIcewm) {
    window_manager_ = std::make_unique<ChildProcess>(std::vector<std::string>{"icewm"}, env());
    if (!WaitForWindowManager() || WaitForWindow("TaskBar").empty()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // its task bar settles
    return true;
  }
  if (desktop == Desktop::kMate || desktop == Desktop::kKwin || desktop == Desktop::kMutter) {
    // A session bus, a process group of their own, all of which goes at the
    // end, and none of it writing to the test's output.
    const char* session = desktop == Desktop::kMate   ? "marco & exec mate-panel"
                          : desktop == Desktop::kKwin ? "exec kwin_x11"
                                                      : "exec mutter --x11";
    window_manager_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{
            "setsid", "sh", "-c",
            std::string("exec >/dev/null 2>&1; exec dbus-run-session -- sh -c '") + session + "'"},
        env());
    if (!WaitForWindowManager()) return false;
    if (desktop == Desktop::kMate && WaitForWindow("mate-panel").empty()) return false;
    for (int i = 0; i < 600 && desktop != Desktop::kMate && !HasCompositor(name_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // it settles
    return desktop == Desktop::kMate || HasCompositor(name_);
  }
  window_manager_ =
      std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"}, env());
  if (!WaitForWindowManager()) return false;
  panel_ =
      std::make_unique<ChildProcess>(std::vector<std::string>{"tint2", "-c", SLASH_TINT2RC}, env());
  // Give the panel time to map and reserve its strut.
  if (WaitForWindow("tint2").empty()) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (desktop != Desktop::kOpenboxPicom) return true;
  // picom's sample configuration as it ships (shadows, fading, inactive
  // windows at 80 % opacity), without vsync, which a headless server lacks.
  std::ifstream sample(kPicomSample);
  if (!sample) return false;
  if (config_dir_.empty()) {
    char dir[] = "/tmp/slash-picom-XXXXXX";
    if (mkdtemp(dir) == nullptr) return false;
    config_dir_ = dir;
  }
  std::ofstream config(config_dir_ + "/picom.conf");
  for (std::string line; std::getline(sample, line);) {
    config << (line.rfind("vsync", 0) == 0 ? "vsync = false;" : line) << "\n";
  }
  config.close();
  compositor_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"picom", "--config", config_dir_ + "/picom.conf"}, env());
  for (int i = 0; i < 200 && !HasCompositor(name_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the panel's fade-in ends
  return HasCompositor(name_);
}

std::string TestDisplay::WaitForWindow(const std::string& window_class) const {
  for (int i = 0; i < 200; ++i) {
    const std::string ids = Query({"xdotool", "search", "--onlyvisible", "--class", window_class});
    if (!ids.empty()) return ids.substr(0, ids.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return "";
}

bool TestDisplay::FocusTerminal() {
  terminal_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"xterm", "-geometry", "60x10+20+20"}, env());
  const std::string id = WaitForWindow("xterm");
  if (id.empty()) return false;
  // A manager that guards against focus stealing (kwin) may turn the first
  // request down while the terminal is still starting: asked again.
  for (int attempt = 0; attempt < 20; ++attempt) {
    RunProcess({"xdotool", "windowactivate", id}, env());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string active = Query({"xdotool", "getactivewindow"});
    if (active.substr(0, active.find('\n')) == id) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return true;
    }
  }
  return false;
}

TestDisplay::~TestDisplay() {
  terminal_.reset();
  compositor_.reset();
  panel_.reset();
  if (window_manager_) kill(-window_manager_->pid(), SIGKILL);
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
