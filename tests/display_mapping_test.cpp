#include <gtest/gtest.h>

#include "window/geometry.h"
#include "window/scene_pixels.h"

namespace slash {
namespace {

// Window positions count from the primary monitor's origin, wherever that
// monitor sits on the desktop.
TEST(DesktopRect, CountsFromThePrimaryMonitorsOrigin) {
  const struct {
    PixelRect primary;
    int left, top;
    PixelRect expected;
  } cases[] = {
      {{0, 0, 1920, 1080}, 0, 0, {0, 0, 1920, 1080}},
      {{1920, 0, 2560, 1440}, 0, 0, {1920, 0, 2560, 1440}},  // right of another monitor
      {{0, 1080, 1920, 1080}, 0, 0, {0, 1080, 1920, 1080}},  // below another monitor
      {{-1280, 0, 1280, 1024}, 10, 20, {-1270, 20, 1280, 1024}},
  };
  for (const auto& c : cases) {
    EffectScene scene;
    scene.left = c.left;
    scene.top = c.top;
    scene.width = c.primary.width;
    scene.height = c.primary.height;
    const PixelRect at = DesktopRect(c.primary, scene);
    EXPECT_EQ(at.x, c.expected.x);
    EXPECT_EQ(at.y, c.expected.y);
    EXPECT_EQ(at.width, c.expected.width);
    EXPECT_EQ(at.height, c.expected.height);
  }
}

// The scene's extent maps onto the output's pixels: the far edge falls on
// the last pixel, anything outside is clamped in, and an output larger than
// the scene (a high-DPI drawable) scales up.
TEST(LinePixels, MapTheSceneOntoTheOutputsPixels) {
  const struct {
    float x1, y1, x2, y2;
    int width, height;
    PixelLine expected;
  } cases[] = {
      {0, 0, 312, 213, 312, 213, {0, 0, 311, 212}},            // the far edge is the last pixel
      {0, 106.5f, 312, 106.5f, 624, 426, {0, 213, 623, 213}},  // twice the scene
      {-5, -1, 400, 300, 312, 213, {0, 0, 311, 212}},          // clamped in
      {155.99f, 0.5f, 156, 1, 312, 213, {155, 0, 156, 1}},     // rounded down
      {1, 1, 2, 2, 1, 1, {0, 0, 0, 0}},                        // a one-pixel output
  };
  for (const auto& c : cases) {
    EffectScene scene;  // 312 x 213
    SlashLine line;
    line.x1 = c.x1;
    line.y1 = c.y1;
    line.x2 = c.x2;
    line.y2 = c.y2;
    EXPECT_EQ(LinePixels(scene, line, c.width, c.height), c.expected)
        << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " on " << c.width << "x"
        << c.height;
  }
}

TEST(PlacedLines, AreThePlacedOnesInIndexOrder) {
  EffectScene scene;
  for (const std::size_t i : {7u, 2u, 99u}) {
    scene.Lz[i].placed = true;
    scene.Lz[i].color = static_cast<EffectColor>(i);
    scene.Lz[i].x2 = 312;
  }
  const std::vector<PlacedLine> placed = PlacedLines(scene, 312, 213);
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_EQ(placed[0].index, 2u);
  EXPECT_EQ(placed[1].index, 7u);
  EXPECT_EQ(placed[2].index, 99u);
  EXPECT_EQ(placed[2].color, 99u);
  EXPECT_EQ(placed[2].pixels.x2, 311);
  EXPECT_FALSE(PlacedLineAt(scene, 3, 312, 213));
}

TEST(ToRgb, SplitsTheEffectsColourWord) {
  const Rgb blue = ToRgb(0xFF0000);
  EXPECT_EQ(blue.r, 0);
  EXPECT_EQ(blue.g, 0);
  EXPECT_EQ(blue.b, 0xFF);
  const Rgb mixed = ToRgb(0x123456);
  EXPECT_EQ(mixed.r, 0x56);
  EXPECT_EQ(mixed.g, 0x34);
  EXPECT_EQ(mixed.b, 0x12);
}

}  // namespace
}  // namespace slash
