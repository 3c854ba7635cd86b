#pragma once

#include <cstdint>

#include "window/effect_scene.h"

namespace slash {

// A rectangle in desktop pixels.
struct PixelRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Where a window position relative to the primary monitor lies on the
// desktop, whose origin the primary monitor need not share.
inline PixelRect DesktopRect(const PixelRect& primary, const EffectScene& scene) {
  return PixelRect{primary.x + scene.left, primary.y + scene.top, scene.width, scene.height};
}

}  // namespace slash
