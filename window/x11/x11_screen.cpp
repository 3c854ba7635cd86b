#include "window/x11/x11_screen.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

// xcb hands replies over in malloc'ed memory.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Owned(T* reply) {
  return Reply<T>(reply, &std::free);
}

// A component (0..255) scaled into the bits of `mask`.
std::uint32_t Component(std::uint8_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const std::uint64_t top = mask >> shift;
  const std::uint64_t scaled = (value * top + 127) / 255;
  return static_cast<std::uint32_t>(scaled << shift) & mask;
}

bool PrimaryFromMonitors(const xcb_randr_get_monitors_reply_t& monitors, PixelRect& rect) {
  for (auto it = xcb_randr_get_monitors_monitors_iterator(&monitors); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t& monitor = *it.data;
    if (monitor.primary != 0 && monitor.width > 0 && monitor.height > 0) {
      rect = {monitor.x, monitor.y, monitor.width, monitor.height};
      return true;
    }
  }
  return false;
}

bool PrimaryFromOutput(xcb_connection_t& connection, xcb_window_t root, PixelRect& rect) {
  auto primary = Owned(xcb_randr_get_output_primary_reply(
      &connection, xcb_randr_get_output_primary(&connection, root), nullptr));
  if (!primary || primary->output == XCB_NONE) return false;
  auto output = Owned(xcb_randr_get_output_info_reply(
      &connection, xcb_randr_get_output_info(&connection, primary->output, XCB_CURRENT_TIME),
      nullptr));
  if (!output || output->crtc == XCB_NONE) return false;
  auto crtc = Owned(xcb_randr_get_crtc_info_reply(
      &connection, xcb_randr_get_crtc_info(&connection, output->crtc, XCB_CURRENT_TIME), nullptr));
  if (!crtc || crtc->width == 0 || crtc->height == 0) return false;
  rect = {crtc->x, crtc->y, crtc->width, crtc->height};
  return true;
}

}  // namespace

std::uint32_t PixelFormat::Pixel(EffectColor color) const {
  const Rgb rgb = ToRgb(color);
  return Component(rgb.r, red_mask) | Component(rgb.g, green_mask) | Component(rgb.b, blue_mask);
}

PixelFormat RootPixelFormat(const xcb_screen_t& screen) {
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t& visual = *visuals.data;
      if (visual.visual_id != screen.root_visual) continue;
      if (visual._class != XCB_VISUAL_CLASS_TRUE_COLOR) break;
      return PixelFormat{visual.red_mask, visual.green_mask, visual.blue_mask};
    }
  }
  throw RuntimeError::HostFailure("the X screen has no TrueColor root visual", kNoDisplayStatus);
}

xcb_screen_t& NumberedScreen(xcb_connection_t& connection, int number) {
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(&connection));
  for (int i = 0; screens.rem > 0; ++i, xcb_screen_next(&screens)) {
    if (i == number) return *screens.data;
  }
  throw RuntimeError::HostFailure("the X display has no screen " + std::to_string(number),
                                  kNoDisplayStatus);
}

PixelRect PrimaryMonitorOf(xcb_connection_t& connection, const xcb_screen_t& screen) {
  PixelRect rect{0, 0, screen.width_in_pixels, screen.height_in_pixels};
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(&connection, &xcb_randr_id);
  if (randr == nullptr || randr->present == 0) return rect;
  // The version and the monitors go out together: one round trip. A server
  // older than 1.5 answers the second with an error, which is only freed.
  const auto version_cookie = xcb_randr_query_version(&connection, 1, 5);
  const auto monitors_cookie = xcb_randr_get_monitors(&connection, screen.root, 1);
  auto version = Owned(xcb_randr_query_version_reply(&connection, version_cookie, nullptr));
  xcb_generic_error_t* error = nullptr;
  auto monitors =
      Owned(xcb_randr_get_monitors_reply(&connection, monitors_cookie, &error));
  std::free(error);
  if (!version) return rect;
  if (monitors && PrimaryFromMonitors(*monitors, rect)) return rect;
  if (version->major_version > 1 || version->minor_version >= 3) {
    PrimaryFromOutput(connection, screen.root, rect);
  }
  return rect;
}

void PrefetchRandr(xcb_connection_t& connection) {
  xcb_prefetch_extension_data(&connection, &xcb_randr_id);
}

}  // namespace slash
