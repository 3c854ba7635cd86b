#include "window/wayland/surface_layout.h"

#include <algorithm>
#include <limits>

namespace slash {
namespace {

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

// Products of announced numbers saturate instead of wrapping: anything that
// large is refused later anyway.
std::int64_t SaturatingProduct(std::int64_t a, std::int64_t b) {
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
  if (mode.width > SaturatingProduct(width, scale) ||
      mode.height > SaturatingProduct(height, scale))
    return false;
  const std::int64_t skew =
      SaturatingProduct(mode.width, height) - SaturatingProduct(mode.height, width);
  return skew <= std::max(width, height) && -skew <= std::max(width, height);
}

// At least one pixel, and no more than the screen has: without the
// viewporter, in whole multiples of the buffer scale.
SurfaceLayout Bounded(SurfaceLayout layout, const SizeFacts& facts) {
  const std::int64_t step = layout.buffer_scale;
  const auto bound = [step](std::int64_t pixels, std::int32_t limit) {
    if (limit > 0) pixels = std::min(pixels, std::max<std::int64_t>(step, limit / step * step));
    return std::max(step, pixels);
  };
  const ScreenSize limit = facts.screen.value_or(ScreenSize{});
  layout.picture_width = bound(layout.picture_width, limit.width);
  layout.picture_height = bound(layout.picture_height, limit.height);
  return layout;
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
  layout.stretch_solid = facts.viewporter && (!facts.output || facts.output->transform == 0);
  if (!facts.viewporter) {
    // The buffer scale is the only way to say how pictures map to the
    // surface, and it is a whole number.
    layout.buffer_scale = scale;
    layout.picture_width = SaturatingProduct(width, scale);
    layout.picture_height = SaturatingProduct(height, scale);
  } else if (facts.fractional_scale > 0) {
    // Rounded half away from zero, as the compositor rounds it.
    layout.picture_width = (SaturatingProduct(width, facts.fractional_scale) + 60) / 120;
    layout.picture_height = (SaturatingProduct(height, facts.fractional_scale) + 60) / 120;
  } else if (has_mode && FillsAtSmallerScale(width, height, mode, scale)) {
    // The scale is the mode over the size along the side that rounding
    // shortened least (an output of 640 at 1.5 may be 426 wide, which
    // covers 639 pixels).
    if (SaturatingProduct(mode.width, height) <= SaturatingProduct(mode.height, width)) {
      layout.picture_width = mode.width;
      layout.picture_height = (SaturatingProduct(height, mode.width) * 2 + width) / (2 * width);
    } else {
      layout.picture_height = mode.height;
      layout.picture_width = (SaturatingProduct(width, mode.height) * 2 + height) / (2 * height);
    }
  } else {
    layout.picture_width = SaturatingProduct(width, scale);
    layout.picture_height = SaturatingProduct(height, scale);
  }
  return Bounded(layout, facts);
}

std::optional<std::string> PictureRefusal(std::int64_t width, std::int64_t height,
                                          int bytes_per_pixel) {
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  const std::int64_t stride = SaturatingProduct(width, bytes_per_pixel);
  const bool fits = width > 0 && height > 0 && stride <= kLimit && height < kLimit / stride;
  if (fits) return std::nullopt;
  return "the compositor asks for a window of " + std::to_string(width) + "x" +
         std::to_string(height) + " pixels, which shared memory cannot hold";
}

std::optional<ScreenSize> ScreenLimit(const std::vector<OutputState>& outputs) {
  const bool entered = std::any_of(outputs.begin(), outputs.end(),
                                   [](const OutputState& output) { return output.entered; });
  std::optional<ScreenSize> limit;
  for (const OutputState& output : outputs) {
    const ScreenSize screen = OnScreen(output.facts);
    if ((entered && !output.entered) || screen.width <= 0 || screen.height <= 0) continue;
    limit = ScreenSize{std::max(screen.width, limit ? limit->width : 0),
                       std::max(screen.height, limit ? limit->height : 0)};
  }
  return limit;
}

const OutputFacts* SurfaceOutput(const std::vector<OutputState>& outputs, ScreenSize configured) {
  // On several outputs at once, the sharpest one decides.
  const OutputFacts* current = nullptr;
  for (const OutputState& output : outputs) {
    if (output.entered && (current == nullptr || output.facts.scale > current->scale)) {
      current = &output.facts;
    }
  }
  if (current != nullptr) return current;
  // Until the window is shown the compositor does not say which output it
  // is on: the output the size fits stands in, else the first with a mode,
  // else the first, and an enter event corrects it.
  for (const OutputState& output : outputs) {
    const std::int32_t scale = std::max(1, output.facts.scale);
    if (configured.width > 0 && output.facts.mode.width / scale == configured.width &&
        output.facts.mode.height / scale == configured.height) {
      return &output.facts;
    }
  }
  for (const OutputState& output : outputs) {
    if (output.facts.mode.width > 0 && output.facts.mode.height > 0) return &output.facts;
  }
  return outputs.empty() ? nullptr : &outputs.front().facts;
}

}  // namespace slash
