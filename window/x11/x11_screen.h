#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "window/geometry.h"
#include "window/scene_pixels.h"

struct xcb_connection_t;
struct xcb_screen_t;

namespace slash {

// How the effect's colours become pixel values on the window's visual. A
// TrueColor visual builds them from its colour masks, so any depth and byte
// order (16, 24 or 30 bits) gets the exact colour; a visual with a colour
// map (PseudoColor, StaticColor, DirectColor) gets the cells the server
// allocated for black and the five effect colours.
class VisualFormat {
 public:
  VisualFormat() = default;
  // TrueColor: each component scaled into its mask.
  VisualFormat(std::uint32_t red_mask, std::uint32_t green_mask, std::uint32_t blue_mask);
  // A colour map: the pixel of each colour the effect can show.
  using Cells = std::array<std::pair<EffectColor, std::uint32_t>, 6>;
  explicit VisualFormat(const Cells& cells);

  // Raises a property failure for a colour that has no cell.
  std::uint32_t Pixel(EffectColor color) const;

 private:
  std::uint32_t masks_[3] = {0, 0, 0};
  bool mapped_ = false;
  Cells cells_{};
};

// The visual the window is made with. Copy-from-parent (the root visual)
// when it is TrueColor; beside a DirectColor root, a TrueColor visual of the
// same depth with a colour map of its own; otherwise the root visual's
// colour map with a cell allocated for each colour, if they come out exact;
// otherwise a TrueColor visual at any depth.
struct WindowVisual {
  std::uint32_t visual = 0;    // 0: the root visual, copied from the parent
  std::uint8_t depth = 0;      // 0: the root depth, copied from the parent
  std::uint32_t colormap = 0;  // 0: copied from the parent
  VisualFormat format;
};

// Raises the no-display failure, naming the visual, on a screen where the
// effect's colours cannot all be shown exactly (a gray scale, a static map
// without them, a full colour map).
WindowVisual ChooseWindowVisual(xcb_connection_t& connection, const xcb_screen_t& screen);

// The screen that DISPLAY names (":N.S"), or the no-display failure.
xcb_screen_t& NumberedScreen(xcb_connection_t& connection, int number);

// The primary monitor: RandR 1.5's monitor with the primary flag; else the
// CRTC of RandR's primary output; else the whole screen.
struct PrimaryMonitor {
  PixelRect rect;
  // On a screen of several monitors, the primary's place in RandR's list
  // of them, which is the order window managers number monitors in; -1 on
  // a screen of one.
  int index = -1;
};
PrimaryMonitor PrimaryMonitorOf(xcb_connection_t& connection, const xcb_screen_t& screen);

// Asks whether the server has RandR without waiting for the answer, so that
// the question shares a round trip with others.
void PrefetchRandr(xcb_connection_t& connection);

}  // namespace slash
