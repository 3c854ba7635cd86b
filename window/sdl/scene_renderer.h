#pragma once

#include <SDL.h>

#include "window/effect_scene.h"

namespace slash {

// Draws the scene onto whatever the renderer targets (a window or an
// offscreen surface): the background over the whole area, then every placed
// line on top, one device pixel wide. Scene coordinates are scaled to the
// renderer's output, so a high-DPI drawable still gets edge-to-edge lines.
// Returns false, with SDL's error set, when SDL fails.
bool DrawScene(SDL_Renderer* renderer, const EffectScene& scene);

// The renderer colour of an EffectColor word (0x00BBGGRR).
SDL_Color ToSdlColor(EffectColor color);

}  // namespace slash
