#include "window/line_raster.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace slash {
namespace {

// Adds the part of a run that lies inside the clip.
void AddClipped(std::vector<PixelRun>& runs, PixelRun run, const PixelRect& clip) {
  const int right = clip.x + clip.width;
  const int bottom = clip.y + clip.height;
  if (run.horizontal) {
    if (run.y < clip.y || run.y >= bottom) return;
    const int start = std::max(run.x, clip.x);
    const int end = std::min(run.x + run.length, right);
    if (start < end) runs.push_back({start, run.y, end - start, true});
  } else {
    if (run.x < clip.x || run.x >= right) return;
    const int start = std::max(run.y, clip.y);
    const int end = std::min(run.y + run.length, bottom);
    if (start < end) runs.push_back({run.x, start, end - start, false});
  }
}

}  // namespace

std::vector<PixelRun> LineRuns(const PixelLine& line, const PixelRect& clip) {
  const std::int64_t dx = static_cast<std::int64_t>(line.x2) - line.x1;
  const std::int64_t dy = static_cast<std::int64_t>(line.y2) - line.y1;
  const std::int64_t adx = std::llabs(dx);
  const std::int64_t ady = std::llabs(dy);
  const int step_x = dx < 0 ? -1 : 1;
  const int step_y = dy < 0 ? -1 : 1;
  const bool x_major = adx > ady;
  const std::int64_t major = x_major ? adx : ady;
  const std::int64_t minor = x_major ? ady : adx;
  // A line with no length draws nothing, as the server's does.
  if (major == 0) return {};
  // The server's error terms, shifted to be compared against zero after
  // each major step: e1 = 2 minor, e2 = e1 - 2 major, e3 = e2 - e1, and the
  // error starting at e1 - major, less e1. A tie steps the minor axis, in
  // every direction: the server sets no octant bias.
  const std::int64_t e1 = minor * 2;
  const std::int64_t e3 = -major * 2;
  std::int64_t e = -major;

  // Walks the line pixel by pixel along its major axis, both ends included,
  // and gather the pixels that share a minor coordinate into one run.
  std::vector<PixelRun> runs;
  int x = line.x1;
  int y = line.y1;
  PixelRun run{x, y, 0, x_major};
  for (std::int64_t left = major + 1; left > 0; --left) {
    ++run.length;
    if (x_major) {
      x += step_x;
    } else {
      y += step_y;
    }
    e += e1;
    const bool minor_step = e >= 0;
    if (minor_step) {
      e += e3;
      if (x_major) {
        y += step_y;
      } else {
        x += step_x;
      }
    }
    if (minor_step || left == 1) {
      // A run walked leftwards or upwards starts at its far end.
      if (x_major && step_x < 0) run.x -= run.length - 1;
      if (!x_major && step_y < 0) run.y -= run.length - 1;
      AddClipped(runs, run, clip);
      run = PixelRun{x, y, 0, x_major};
    }
  }
  return runs;
}

}  // namespace slash
