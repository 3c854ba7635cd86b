#include "window/scene_pixels.h"

#include <algorithm>
#include <cmath>

namespace slash {
namespace {

int ToPixel(float coordinate, std::int32_t scene_extent, int output_extent) {
  if (scene_extent <= 0 || output_extent <= 0) return 0;
  const double scaled = static_cast<double>(coordinate) * output_extent / scene_extent;
  const double pixel = std::floor(scaled);
  return static_cast<int>(std::clamp(pixel, 0.0, static_cast<double>(output_extent - 1)));
}

}  // namespace

PixelLine LinePixels(const EffectScene& scene, const SlashLine& line, int width, int height) {
  return PixelLine{ToPixel(line.x1, scene.width, width), ToPixel(line.y1, scene.height, height),
                   ToPixel(line.x2, scene.width, width), ToPixel(line.y2, scene.height, height)};
}

std::vector<PlacedLine> PlacedLines(const EffectScene& scene, int width, int height) {
  std::vector<PlacedLine> placed;
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (std::optional<PlacedLine> line = PlacedLineAt(scene, i, width, height)) {
      placed.push_back(*line);
    }
  }
  return placed;
}

std::optional<PlacedLine> PlacedLineAt(const EffectScene& scene, std::size_t index, int width,
                                       int height) {
  const SlashLine& line = scene.Lz.at(index);
  if (!line.placed) return std::nullopt;
  return PlacedLine{index, line.color, LinePixels(scene, line, width, height)};
}

Rgb ToRgb(EffectColor color) {
  return Rgb{static_cast<std::uint8_t>(color & 0xFF),
             static_cast<std::uint8_t>((color >> 8) & 0xFF),
             static_cast<std::uint8_t>((color >> 16) & 0xFF)};
}

}  // namespace slash
