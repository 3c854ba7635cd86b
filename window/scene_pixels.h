#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "window/effect_scene.h"

namespace slash {

// A line's two end pixels on an output of a given size.
struct PixelLine {
  int x1 = 0;
  int y1 = 0;
  int x2 = 0;
  int y2 = 0;
  bool operator==(const PixelLine&) const = default;
};

// Where a placed line falls on an output of `width` x `height` pixels: the
// scene's extent maps onto the output's pixels, and the far edge (x = W)
// falls on the last pixel, so a full-width line covers every column.
// The output may be larger than the scene (a high-DPI drawable).
PixelLine LinePixels(const EffectScene& scene, const SlashLine& line, int width, int height);

// A placed line as a drawer sees it: its place in the line array, its
// colour and its end pixels on an output of a given size.
struct PlacedLine {
  std::size_t index = 0;
  EffectColor color = kBlack;
  PixelLine pixels;
};

// The walk every drawer makes: the scene's placed lines, in index order,
// with their end pixels on an output of `width` x `height` pixels. Lines
// never placed are not drawn, so the flood leaves one uniform colour.
std::vector<PlacedLine> PlacedLines(const EffectScene& scene, int width, int height);
// Line `index` alone, when it is placed.
std::optional<PlacedLine> PlacedLineAt(const EffectScene& scene, std::size_t index, int width,
                                       int height);

// The red, green and blue parts of an EffectColor (0x00BBGGRR).
struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
};
Rgb ToRgb(EffectColor color);

}  // namespace slash
