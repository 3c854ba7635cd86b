#include "window/wayland/picture_content.h"

#include <algorithm>

namespace slash {

PictureContent SceneContent(const EffectScene& scene, ScreenSize size) {
  PictureContent content;
  content.size = size;
  content.background = scene.background;
  for (const PlacedLine& line : PlacedLines(scene, size.width, size.height)) {
    if (line.color == scene.background) continue;
    content.lines[line.index] = DrawnLine{line.pixels, line.color};
    content.solid = false;
  }
  return content;
}

bool NeedsRedraw(const PictureContent& held, const PictureContent& next) {
  if (held.background != next.background) return true;
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (held.lines[i] && held.lines[i] != next.lines[i]) return true;
  }
  return false;
}

PixelRect Damage(const std::optional<PictureContent>& shown, const PictureContent& next) {
  const PixelRect whole{0, 0, next.size.width, next.size.height};
  if (!shown || shown->solid || next.solid || shown->size != next.size ||
      shown->background != next.background) {
    return whole;
  }
  // Only the rows of what changed: the compositor then repaints little.
  int top = next.size.height;
  int bottom = -1;
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (shown->lines[i] == next.lines[i]) continue;
    for (const auto& line : {shown->lines[i], next.lines[i]}) {
      if (!line) continue;
      top = std::min({top, line->pixels.y1, line->pixels.y2});
      bottom = std::max({bottom, line->pixels.y1, line->pixels.y2});
    }
  }
  if (bottom < top) return PixelRect{0, 0, 0, 0};
  return PixelRect{0, top, next.size.width, bottom - top + 1};
}

}  // namespace slash
