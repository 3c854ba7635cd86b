#include "window/x11/protocol_clip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace slash {
namespace {

constexpr double kLowest = std::numeric_limits<std::int16_t>::min();
constexpr double kHighest = std::numeric_limits<std::int16_t>::max();

// Narrows [enter, leave] to where start + t * delta lies in the square's
// span on one axis (Liang-Barsky).
bool Narrow(double start, double delta, double& enter, double& leave) {
  if (delta == 0) return start >= kLowest && start <= kHighest;
  double to_low = (kLowest - start) / delta;
  double to_high = (kHighest - start) / delta;
  if (to_low > to_high) std::swap(to_low, to_high);
  enter = std::max(enter, to_low);
  leave = std::min(leave, to_high);
  return enter <= leave;
}

int PointAt(int start, int end, double t) {
  const double exact = start + t * (end - start);
  return static_cast<int>(std::clamp(std::round(exact), kLowest, kHighest));
}

}  // namespace

std::optional<PixelLine> ClipToProtocol(const PixelLine& line) {
  double enter = 0.0;
  double leave = 1.0;
  if (!Narrow(line.x1, line.x2 - line.x1, enter, leave) ||
      !Narrow(line.y1, line.y2 - line.y1, enter, leave)) {
    return std::nullopt;
  }
  return PixelLine{PointAt(line.x1, line.x2, enter), PointAt(line.y1, line.y2, enter),
                   PointAt(line.x1, line.x2, leave), PointAt(line.y1, line.y2, leave)};
}

}  // namespace slash
