#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "runtime/screen_size.h"
#include "window/effect_scene.h"
#include "window/geometry.h"
#include "window/scene_pixels.h"

namespace slash {

// The pixels of one placed line and its colour, as drawn into a picture.
struct DrawnLine {
  PixelLine pixels;
  EffectColor color = kBlack;
  bool operator==(const DrawnLine&) const = default;
};

// What a picture shows: its background with lines over it.
struct PictureContent {
  ScreenSize size;
  EffectColor background = kBlack;
  std::array<std::optional<DrawnLine>, kLineCount> lines{};
  bool solid = true;  // no line: one colour shows it
  bool operator==(const PictureContent&) const = default;
};

// The scene as a picture of `size` pixels. A line of the background's
// colour shows nothing, so after the flood the content is solid again.
PictureContent SceneContent(const EffectScene& scene, ScreenSize size);

// Whether a picture that holds `held` must be cleared before it can show
// `next`: its background changed, or a line it holds moved or went.
// Otherwise only the lines it lacks are drawn into it.
bool NeedsRedraw(const PictureContent& held, const PictureContent& next);

// The part of the picture the compositor must repaint when `next` replaces
// `shown` (nothing shown yet: the whole of it): the rows of the lines that
// changed, full width, or the whole picture when the size, the background
// or a one-colour picture changed. Empty when nothing changed.
PixelRect Damage(const std::optional<PictureContent>& shown, const PictureContent& next);

}  // namespace slash
