// slash on a Wayland compositor: natively through its SDL back end, and
// through XWayland on its X server back end. A headless sway is the
// compositor and grim takes its screenshots; screenshots are polled, so the
// test checks the order of what is seen and the final status.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "screen_watch.h"

namespace slash {
namespace {

using testing::ChildProcess;
using testing::Environment;
using testing::RunProcess;
using testing::Screenshot;

constexpr std::uint32_t kDesktop = 0x403020;  // #203040 as 0x00BBGGRR
constexpr uid_t kNobody = 65534;

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A headless sway with XWayland, run as an unprivileged user (sway refuses
// root) in a runtime directory of its own. Decorated, it keeps sway's
// default borders and title bars and has a bar along the top.
class Sway {
 public:
  explicit Sway(bool decorated) {
    char dir[] = "/tmp/slash-sway-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    dir_ = dir;
    if (chown(dir, kNobody, kNobody) != 0) return;
    std::ofstream(dir_ + "/config")
        << "xwayland force\n"
           "output HEADLESS-1 resolution 640x480 background #203040 solid_color\n"
        << (decorated ? "bar {\n position top\n status_command echo slash\n}\n"
                      : "default_border none\n")
        << "exec sh -c 'xhost +si:localuser:root && echo \"$DISPLAY\" > " << dir_ << "/xdisplay'\n";
    sway_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", "-i",
        "PATH=/usr/bin:/bin", "HOME=" + dir_, "XDG_RUNTIME_DIR=" + dir_, "WLR_BACKENDS=headless",
        "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c", dir_ + "/config"});
    for (int i = 0; i < 200 && x_display_.empty(); ++i, Sleep(25)) {
      std::ifstream file(dir_ + "/xdisplay");
      std::getline(file, x_display_);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) wayland_ = name;
    }
  }
  ~Sway() {
    if (sway_) {
      sway_->Signal(SIGTERM);
      sway_->WaitFor(5000);
    }
    if (x_display_.size() > 1) {
      const std::string number = x_display_.substr(1);
      unlink(("/tmp/.X11-unix/X" + number).c_str());
      unlink(("/tmp/.X" + number + "-lock").c_str());
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  bool ok() const { return !wayland_.empty() && !x_display_.empty(); }
  Environment NativeEnv() const {
    return {"DISPLAY", "WAYLAND_DISPLAY=" + wayland_, "XDG_RUNTIME_DIR=" + dir_, "SLASH_BACKEND",
            "SDL_VIDEODRIVER"};
  }
  Environment XWaylandEnv() const {
    return {"DISPLAY=" + x_display_, "WAYLAND_DISPLAY", "SLASH_BACKEND", "SDL_VIDEODRIVER"};
  }

  // The output as grim sees it, from a binary PPM.
  bool Capture(Screenshot& shot) const {
    const auto grim = RunProcess({"grim", "-t", "ppm", "-"},
                                 {"WAYLAND_DISPLAY=" + wayland_, "XDG_RUNTIME_DIR=" + dir_});
    if (grim.status != 0) return false;
    std::size_t at = 0;
    std::string fields[4];
    for (std::string& field : fields) {  // P6, width, height, maximum
      while (at < grim.out.size() && std::isspace(static_cast<unsigned char>(grim.out[at]))) ++at;
      while (at < grim.out.size() && !std::isspace(static_cast<unsigned char>(grim.out[at]))) {
        field += grim.out[at++];
      }
    }
    ++at;
    if (fields[0] != "P6" || fields[3] != "255") return false;
    shot.width = std::stoi(fields[1]);
    shot.height = std::stoi(fields[2]);
    const std::size_t count = static_cast<std::size_t>(shot.width) * shot.height;
    if (grim.out.size() < at + count * 3) return false;
    shot.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const auto* rgb = reinterpret_cast<const unsigned char*>(grim.out.data() + at + i * 3);
      shot.pixels[i] = (std::uint32_t{rgb[2]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[0];
    }
    return true;
  }

 private:
  std::string dir_;
  std::string wayland_;
  std::string x_display_;
  std::unique_ptr<ChildProcess> sway_;
};

enum class Look { kDesktop, kBlack, kLines, kFlood, kOther };

Look Classify(const Screenshot& shot, std::uint32_t color) {
  std::size_t colored = 0;
  std::size_t black = 0;
  std::size_t desktop = 0;
  for (const std::uint32_t pixel : shot.pixels) {
    colored += pixel == color;
    black += pixel == 0;
    desktop += pixel == kDesktop;
  }
  const std::size_t all = shot.pixels.size();
  if (desktop == all) return Look::kDesktop;
  if (black == all) return Look::kBlack;
  if (colored == all) return Look::kFlood;
  if (colored + black == all && colored > 0) return Look::kLines;
  return Look::kOther;
}

class OnWayland : public ::testing::TestWithParam<bool> {};

TEST_P(OnWayland, ShowsBlackTheLinesAndTheFloodThenEnds) {
  if (geteuid() != 0) GTEST_SKIP() << "the test starts sway as another user";
  const bool native = GetParam();
  // Through XWayland the window is full-screen over sway's borders, title
  // bar and bar; SDL's native path is tested on a bare output.
  const Sway sway(!native);
  ASSERT_TRUE(sway.ok()) << "no headless sway with XWayland";
  ChildProcess slash({SLASH_PATH, "3", "blue"}, native ? sway.NativeEnv() : sway.XWaylandEnv());
  std::vector<Look> seen;
  Screenshot shot;
  while (slash.Running()) {
    if (!sway.Capture(shot)) continue;
    const Look look = Classify(shot, 0xFF0000);
    if (look != Look::kOther && (seen.empty() || seen.back() != look)) seen.push_back(look);
  }
  ASSERT_TRUE(slash.WaitFor(5000));
  EXPECT_EQ(slash.status(), 0) << slash.TakeErr();
  // The compositor may show a frame of the window on its way in or out
  // (kOther, ignored); what is seen must come in the effect's order.
  if (!seen.empty() && seen.front() == Look::kDesktop) seen.erase(seen.begin());
  if (!seen.empty() && seen.back() == Look::kDesktop) seen.pop_back();
  const std::vector<Look> expected = {Look::kBlack, Look::kLines, Look::kFlood};
  EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, OnWayland, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Native" : "XWayland"; });

}  // namespace
}  // namespace slash
