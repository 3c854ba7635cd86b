#pragma once

#include <cstdint>

#include "window/scene_pixels.h"
#include "window/window_backend.h"

struct xcb_connection_t;
struct xcb_screen_t;
struct xcb_visualtype_t;

namespace slash {

// Pixel values of a TrueColor visual, built from its colour masks, so any
// depth and byte order (16, 24 or 30 bits) gets the exact colour.
struct PixelFormat {
  std::uint32_t red_mask = 0;
  std::uint32_t green_mask = 0;
  std::uint32_t blue_mask = 0;

  std::uint32_t Pixel(EffectColor color) const;
};

// The TrueColor format of the screen's root visual; raises the no-display
// failure on a screen without one.
PixelFormat RootPixelFormat(const xcb_screen_t& screen);

// The screen that DISPLAY names (":N.S"), or the no-display failure.
xcb_screen_t& NumberedScreen(xcb_connection_t& connection, int number);

// The primary monitor: RandR 1.5's monitor with the primary flag; else the
// CRTC of RandR's primary output; else the whole screen.
PixelRect PrimaryMonitorOf(xcb_connection_t& connection, const xcb_screen_t& screen);

// Asks whether the server has RandR without waiting for the answer, so that
// the question shares a round trip with others.
void PrefetchRandr(xcb_connection_t& connection);

}  // namespace slash
