#include <gtest/gtest.h>

#include "window/effect_window.h"

namespace slash {
namespace {

// Window positions count from the primary display's origin, wherever that
// display sits on the desktop.
TEST(DesktopPosition, CountsFromThePrimaryDisplaysOrigin) {
  const struct {
    SDL_Rect primary;
    int left, top;
    SDL_Point expected;
  } cases[] = {
      {{0, 0, 1920, 1080}, 0, 0, {0, 0}},
      {{1920, 0, 2560, 1440}, 0, 0, {1920, 0}},  // primary right of another monitor
      {{0, 1080, 1920, 1080}, 0, 0, {0, 1080}},  // primary below another monitor
      {{-1280, 0, 1280, 1024}, 10, 20, {-1270, 20}},
  };
  for (const auto& c : cases) {
    const SDL_Point at = DesktopPosition(c.primary, c.left, c.top);
    EXPECT_EQ(at.x, c.expected.x);
    EXPECT_EQ(at.y, c.expected.y);
  }
}

}  // namespace
}  // namespace slash
