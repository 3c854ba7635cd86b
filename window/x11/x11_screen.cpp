#include "window/x11/x11_screen.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "effect/effect_params.h"
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

const char* VisualClassName(std::uint8_t visual_class) {
  switch (visual_class) {
    case XCB_VISUAL_CLASS_STATIC_GRAY:
      return "StaticGray";
    case XCB_VISUAL_CLASS_GRAY_SCALE:
      return "GrayScale";
    case XCB_VISUAL_CLASS_STATIC_COLOR:
      return "StaticColor";
    case XCB_VISUAL_CLASS_PSEUDO_COLOR:
      return "PseudoColor";
    case XCB_VISUAL_CLASS_DIRECT_COLOR:
      return "DirectColor";
    default:
      return "unknown";
  }
}

// Black and the five effect colours, each in a read-only cell of the root
// visual's colour map. All six requests go out before the first answer is
// awaited: one round trip. A cell whose colour is not exactly the one asked
// for (a static map, a gray scale) cannot show the effect.
VisualFormat AllocatedCells(xcb_connection_t& connection, const xcb_screen_t& screen,
                            const xcb_visualtype_t* root) {
  VisualFormat::Cells cells{};
  cells[0].first = kBlack;
  for (std::size_t i = 0; i < ColorWords.size(); ++i) cells[i + 1].first = ColorWords[i].color;
  std::array<xcb_alloc_color_cookie_t, std::tuple_size_v<VisualFormat::Cells>> cookies{};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const Rgb rgb = ToRgb(cells[i].first);
    cookies[i] = xcb_alloc_color(
        &connection, screen.default_colormap, static_cast<std::uint16_t>(rgb.r * 257),
        static_cast<std::uint16_t>(rgb.g * 257), static_cast<std::uint16_t>(rgb.b * 257));
  }
  bool exact = true;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    auto cell = Owned(xcb_alloc_color_reply(&connection, cookies[i], nullptr));
    const Rgb rgb = ToRgb(cells[i].first);
    exact = exact && cell && cell->red >> 8 == rgb.r && cell->green >> 8 == rgb.g &&
            cell->blue >> 8 == rgb.b;
    if (cell) cells[i].second = cell->pixel;
  }
  if (!exact) {
    throw RuntimeError::HostFailure("the X screen's " + std::to_string(screen.root_depth) +
                                        "-bit " +
                                        VisualClassName(root != nullptr ? root->_class : 0xFF) +
                                        " visual cannot show the effect's colours exactly",
                                    kStatusNoDisplay);
  }
  return VisualFormat(cells);
}

// A visual other than the root's needs a colour map of its own.
WindowVisual OwnColormap(xcb_connection_t& connection, const xcb_screen_t& screen,
                         const xcb_visualtype_t& visual, std::uint8_t depth) {
  const xcb_colormap_t colormap = xcb_generate_id(&connection);
  xcb_create_colormap(&connection, XCB_COLORMAP_ALLOC_NONE, colormap, screen.root,
                      visual.visual_id);
  return WindowVisual{visual.visual_id, depth, colormap,
                      VisualFormat(visual.red_mask, visual.green_mask, visual.blue_mask)};
}

std::optional<PrimaryMonitor> PrimaryFromMonitors(const xcb_randr_get_monitors_reply_t& monitors) {
  int place = 0;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(&monitors); it.rem > 0;
       xcb_randr_monitor_info_next(&it), ++place) {
    const xcb_randr_monitor_info_t& monitor = *it.data;
    if (monitor.primary != 0 && monitor.width > 0 && monitor.height > 0) {
      return PrimaryMonitor{{monitor.x, monitor.y, monitor.width, monitor.height},
                            monitors.nMonitors > 1 ? place : -1};
    }
  }
  return std::nullopt;
}

std::optional<PixelRect> PrimaryFromOutput(xcb_connection_t& connection, xcb_window_t root) {
  auto primary = Owned(xcb_randr_get_output_primary_reply(
      &connection, xcb_randr_get_output_primary(&connection, root), nullptr));
  if (!primary || primary->output == XCB_NONE) return std::nullopt;
  auto output = Owned(xcb_randr_get_output_info_reply(
      &connection, xcb_randr_get_output_info(&connection, primary->output, XCB_CURRENT_TIME),
      nullptr));
  if (!output || output->crtc == XCB_NONE) return std::nullopt;
  auto crtc = Owned(xcb_randr_get_crtc_info_reply(
      &connection, xcb_randr_get_crtc_info(&connection, output->crtc, XCB_CURRENT_TIME), nullptr));
  if (!crtc || crtc->width == 0 || crtc->height == 0) return std::nullopt;
  return PixelRect{crtc->x, crtc->y, crtc->width, crtc->height};
}

}  // namespace

VisualFormat::VisualFormat(std::uint32_t red_mask, std::uint32_t green_mask,
                           std::uint32_t blue_mask)
    : masks_{red_mask, green_mask, blue_mask} {}

VisualFormat::VisualFormat(const Cells& cells) : mapped_(true), cells_(cells) {}

std::uint32_t VisualFormat::Pixel(EffectColor color) const {
  if (!mapped_) {
    const Rgb rgb = ToRgb(color);
    return Component(rgb.r, masks_[0]) | Component(rgb.g, masks_[1]) | Component(rgb.b, masks_[2]);
  }
  for (const auto& [cell_color, pixel] : cells_) {
    if (cell_color == color) return pixel;
  }
  char detail[64];
  std::snprintf(detail, sizeof detail, "no colour cell for 0x%06X", static_cast<unsigned>(color));
  throw RuntimeError(RuntimeErrorKind::kPropertyFailure, detail);
}

WindowVisual ChooseWindowVisual(xcb_connection_t& connection, const xcb_screen_t& screen) {
  // The root visual, and a TrueColor visual at the root depth and at any
  // other depth up to 24 (a deeper one may carry an alpha channel that a
  // compositor would blend), the deepest first.
  const xcb_visualtype_t* root = nullptr;
  const xcb_visualtype_t* same_depth = nullptr;
  const xcb_visualtype_t* other_depth = nullptr;
  std::uint8_t other_depth_bits = 0;
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0;
       xcb_depth_next(&depths)) {
    const std::uint8_t depth = depths.data->depth;
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t& visual = *visuals.data;
      if (visual.visual_id == screen.root_visual) root = &visual;
      if (visual._class != XCB_VISUAL_CLASS_TRUE_COLOR || visual.bits_per_rgb_value < 8) continue;
      if (depth == screen.root_depth && same_depth == nullptr) same_depth = &visual;
      if (depth != screen.root_depth && depth <= 24 && depth > other_depth_bits) {
        other_depth = &visual;
        other_depth_bits = depth;
      }
    }
  }
  if (root != nullptr && root->_class == XCB_VISUAL_CLASS_TRUE_COLOR) {
    return WindowVisual{0, 0, 0, VisualFormat(root->red_mask, root->green_mask, root->blue_mask)};
  }
  // A DirectColor root's pixels are read through its changeable colour map;
  // a TrueColor visual beside it is read by its masks alone.
  const bool direct = root != nullptr && root->_class == XCB_VISUAL_CLASS_DIRECT_COLOR;
  if (direct && same_depth != nullptr) {
    return OwnColormap(connection, screen, *same_depth, screen.root_depth);
  }
  // The root visual's own colour map, which is always the installed one,
  // if it holds the six colours exactly; else any TrueColor visual.
  try {
    return WindowVisual{0, 0, 0, AllocatedCells(connection, screen, root)};
  } catch (const RuntimeError&) {
    if (same_depth != nullptr) {
      return OwnColormap(connection, screen, *same_depth, screen.root_depth);
    }
    if (other_depth == nullptr) throw;
    return OwnColormap(connection, screen, *other_depth, other_depth_bits);
  }
}

xcb_screen_t& NumberedScreen(xcb_connection_t& connection, int number) {
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(&connection));
  for (int i = 0; screens.rem > 0; ++i, xcb_screen_next(&screens)) {
    if (i == number) return *screens.data;
  }
  throw RuntimeError::HostFailure("the X display has no screen " + std::to_string(number),
                                  kStatusNoDisplay);
}

PrimaryMonitor PrimaryMonitorOf(xcb_connection_t& connection, const xcb_screen_t& screen) {
  const PrimaryMonitor whole{{0, 0, screen.width_in_pixels, screen.height_in_pixels}, -1};
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(&connection, &xcb_randr_id);
  if (randr == nullptr || randr->present == 0) return whole;
  // The version and the monitors go out together: one round trip. A server
  // older than 1.5 answers the second with an error, which is only freed.
  const auto version_cookie = xcb_randr_query_version(&connection, 1, 5);
  const auto monitors_cookie = xcb_randr_get_monitors(&connection, screen.root, 1);
  auto version = Owned(xcb_randr_query_version_reply(&connection, version_cookie, nullptr));
  xcb_generic_error_t* error = nullptr;
  auto monitors = Owned(xcb_randr_get_monitors_reply(&connection, monitors_cookie, &error));
  std::free(error);
  if (!version) return whole;
  if (monitors) {
    if (const std::optional<PrimaryMonitor> primary = PrimaryFromMonitors(*monitors)) {
      return *primary;
    }
  }
  if (version->major_version > 1 || version->minor_version >= 3) {
    if (const std::optional<PixelRect> rect = PrimaryFromOutput(connection, screen.root)) {
      return PrimaryMonitor{*rect, -1};
    }
  }
  return whole;
}

void PrefetchRandr(xcb_connection_t& connection) {
  xcb_prefetch_extension_data(&connection, &xcb_randr_id);
}

}  // namespace slash
