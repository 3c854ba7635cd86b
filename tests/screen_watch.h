#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "starvation_probe.h"

struct xcb_connection_t;

namespace slash::testing {

// A screenshot as 0x00BBGGRR words, row by row.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// One state of the screen, stamped with the X server's time (ms) of the
// damage that made it.
struct ScreenState {
  std::uint32_t server_ms = 0;
  Screenshot shot;
};

// Watches an X screen through DAMAGE: every drawing request another client
// makes raises a notification, and the screen is grabbed at each one, so a
// state that lasts a single tick is never missed. Consecutive grabs that
// show the same pixels count as one state.
class ScreenWatch {
 public:
  explicit ScreenWatch(const std::string& display);
  ~ScreenWatch();
  ScreenWatch(const ScreenWatch&) = delete;
  ScreenWatch& operator=(const ScreenWatch&) = delete;

  bool ok() const { return connection_ != nullptr; }
  // The screen as it is now.
  Screenshot Grab();
  // Puts a white window over the left half of the screen for `ms`, then
  // takes it away, so that what was under it is exposed again.
  void CoverLeftHalf(int ms);
  // Whether a window manager has announced itself on the root
  // (_NET_SUPPORTING_WM_CHECK), asked without starting a process.
  bool WindowManagerAnnounced();
  // Takes or releases a grab of the whole server, as another client may:
  // while it lasts the server serves no other client.
  void GrabServer(bool grabbed);
  // Records states until `keep_going` returns false or `timeout_ms` passes,
  // then for `settle_ms` more.
  void Record(const std::function<bool()>& keep_going, int timeout_ms, int settle_ms);
  const std::vector<ScreenState>& states() const { return states_; }
  // Whether the last Record's harness was starved past `bound_ms` (see
  // StarvationProbe): then what it saw cannot be judged.
  std::optional<std::string> NotJudged(double bound_ms) const {
    return testing::NotJudged(starved_ms_, bound_ms);
  }
  double starved_ms() const { return starved_ms_; }

 private:
  void TakeState(std::uint32_t server_ms);
  // The colour of each pixel value of an 8-bit screen's colour map.
  std::vector<std::uint32_t> Palette();

  double starved_ms_ = 0;  // how late the harness woke during the last Record
  xcb_connection_t* connection_ = nullptr;
  std::uint32_t root_ = 0;
  std::uint32_t white_ = 0;
  std::uint32_t damage_ = 0;
  std::uint8_t damage_event_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::uint32_t masks_[3] = {0, 0, 0};
  bool palette_ = false;
  std::uint32_t colormap_ = 0;
  std::vector<ScreenState> states_;
};

}  // namespace slash::testing
