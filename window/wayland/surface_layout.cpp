#include "window/wayland/surface_layout.h"

#include <algorithm>
#include <limits>

namespace slash {
namespace {

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

// Products of announced numbers saturate instead of wrapping: anything that
// large is refused later anyway.
std::int64_t Times(std::int64_t a, std::int64_t b) {
  std::int64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? kMax64 : product;
}

bool QuarterTurned(std::int32_t transform) {
  return (transform & 1) != 0;
}

// The output's mode as it lies on screen.
ScreenSize OnScreen(const OutputFacts& output) {
  return QuarterTurned(output.transform) ? ScreenSize{output.mode.height, output.mode.width}
                                         : output.mode;
}

// Whether `mode` is the surface at some scale between 1 and `scale`: the
// same shape, to within a pixel's rounding, and no smaller than the
// surface nor larger than the integer scale makes it.
bool FillsAtSmallerScale(std::int64_t width, std::int64_t height, ScreenSize mode,
                         std::int32_t scale) {
  if (mode.width < width || mode.height < height) return false;
  if (mode.width > Times(width, scale) || mode.height > Times(height, scale)) return false;
  const std::int64_t skew = Times(mode.width, height) - Times(mode.height, width);
  return skew <= std::max(width, height) && -skew <= std::max(width, height);
}

}  // namespace

std::optional<SurfaceLayout> LayoutFor(const SizeFacts& facts) {
  SurfaceLayout layout;
  const bool has_mode =
      facts.output && facts.output->mode.width > 0 && facts.output->mode.height > 0;
  const std::int32_t scale = facts.output ? std::max(1, facts.output->scale) : 1;
  const ScreenSize mode = has_mode ? OnScreen(*facts.output) : ScreenSize{};
  if (facts.configured.width > 0 && facts.configured.height > 0) {
    layout.logical_width = facts.configured.width;
    layout.logical_height = facts.configured.height;
  } else if (has_mode) {
    // Ours to choose: the whole output.
    layout.logical_width = std::max(1, mode.width / scale);
    layout.logical_height = std::max(1, mode.height / scale);
  } else {
    return std::nullopt;
  }
  const std::int64_t width = layout.logical_width;
  const std::int64_t height = layout.logical_height;
  if (!facts.viewporter) {
    // The buffer scale is the only way to say how pictures map to the
    // surface, and it is a whole number.
    layout.buffer_scale = scale;
    layout.picture_width = Times(width, scale);
    layout.picture_height = Times(height, scale);
  } else if (facts.fractional_scale > 0) {
    // Rounded half away from zero, as the compositor rounds it.
    layout.picture_width = (Times(width, facts.fractional_scale) + 60) / 120;
    layout.picture_height = (Times(height, facts.fractional_scale) + 60) / 120;
  } else if (has_mode && FillsAtSmallerScale(width, height, mode, scale)) {
    // The scale is the mode over the size along the side that rounding
    // shortened least (an output of 640 at 1.5 may be 426 wide, which
    // covers 639 pixels).
    if (Times(mode.width, height) <= Times(mode.height, width)) {
      layout.picture_width = mode.width;
      layout.picture_height = (Times(height, mode.width) * 2 + width) / (2 * width);
    } else {
      layout.picture_height = mode.height;
      layout.picture_width = (Times(width, mode.height) * 2 + height) / (2 * height);
    }
  } else {
    layout.picture_width = Times(width, scale);
    layout.picture_height = Times(height, scale);
  }
  return layout;
}

std::string PictureRefusal(std::int64_t width, std::int64_t height, int bytes_per_pixel) {
  constexpr std::int64_t kPoolLimit = std::numeric_limits<std::int32_t>::max();
  const bool fits = width > 0 && height > 0 && Times(width, bytes_per_pixel) <= kPoolLimit &&
                    Times(Times(width, height), bytes_per_pixel) <= kPoolLimit;
  if (fits) return "";
  return "the compositor asks for a window of " + std::to_string(width) + "x" +
         std::to_string(height) + " pixels, which shared memory cannot hold";
}

}  // namespace slash
