#include <gtest/gtest.h>

#include "window/geometry.h"

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

}  // namespace
}  // namespace slash
