// Lines cut to the X protocol's 16-bit coordinates.

#include "window/x11/protocol_clip.h"

#include <gtest/gtest.h>

#include <optional>

namespace slash {
namespace {

TEST(ClipToProtocol, CutsWhereTheLineLeavesTheAddressableSquare) {
  const struct {
    PixelLine line;
    std::optional<PixelLine> clipped;
  } cases[] = {
      {{0, 10, 639, 20}, PixelLine{0, 10, 639, 20}},       // nothing to cut
      {{0, 0, 39999, 399}, PixelLine{0, 0, 32767, 327}},   // 399 x 32767 / 39999 = 326.9
      {{0, 40000, 100, 0}, PixelLine{18, 32767, 100, 0}},  // cut at y = 32767, x = 18.1
      {{40000, 0, 50000, 10}, std::nullopt},               // wholly out of reach
  };
  for (const auto& c : cases) {
    const std::optional<PixelLine> clipped = ClipToProtocol(c.line);
    ASSERT_EQ(clipped.has_value(), c.clipped.has_value()) << c.line.x1 << "," << c.line.y1;
    if (!clipped) continue;
    EXPECT_EQ(clipped->x1, c.clipped->x1);
    EXPECT_EQ(clipped->y1, c.clipped->y1);
    EXPECT_EQ(clipped->x2, c.clipped->x2);
    EXPECT_EQ(clipped->y2, c.clipped->y2);
  }
}

}  // namespace
}  // namespace slash
