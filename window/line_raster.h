#pragma once

#include <vector>

#include "window/geometry.h"
#include "window/scene_pixels.h"

namespace slash {

// A straight run of pixels of a line: `length` pixels from (x, y) along the
// line's major axis, rightwards for a line wider than tall, downwards
// otherwise.
struct PixelRun {
  int x = 0;
  int y = 0;
  int length = 0;
  bool horizontal = true;
};

// The pixels of a zero-width line from (x1, y1) to (x2, y2), both end
// pixels drawn, by the X server's rule: Bresenham's, walked from (x1, y1),
// a tie taking the minor step at once, so that every pixel is the one the
// server would draw (a line of no length draws none). Only the runs inside `clip` are returned,
// cut to it; the pixels are those of the whole line, wherever it is cut.
std::vector<PixelRun> LineRuns(const PixelLine& line, const PixelRect& clip);

// Every pixel of the scene's placed lines on an output of `width` x
// `height` pixels, as `paint(x, y, color)`, in index order: a later line
// is painted over an earlier one where they cross.
template <typename Paint>
void ForEachLinePixel(const EffectScene& scene, int width, int height, Paint&& paint) {
  const PixelRect output{0, 0, width, height};
  for (const PlacedLine& line : PlacedLines(scene, width, height)) {
    for (const PixelRun& run : LineRuns(line.pixels, output)) {
      for (int i = 0; i < run.length; ++i) {
        paint(run.horizontal ? run.x + i : run.x, run.horizontal ? run.y : run.y + i, line.color);
      }
    }
  }
}

}  // namespace slash
