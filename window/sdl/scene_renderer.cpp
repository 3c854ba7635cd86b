#include "window/sdl/scene_renderer.h"

#include "window/scene_pixels.h"

namespace slash {
namespace {

bool SetDrawColor(SDL_Renderer* renderer, EffectColor color) {
  const SDL_Color c = ToSdlColor(color);
  return SDL_SetRenderDrawColor(renderer, c.r, c.g, c.b, SDL_ALPHA_OPAQUE) == 0;
}

}  // namespace

SDL_Color ToSdlColor(EffectColor color) {
  const Rgb rgb = ToRgb(color);
  return SDL_Color{rgb.r, rgb.g, rgb.b, SDL_ALPHA_OPAQUE};
}

bool DrawScene(SDL_Renderer* renderer, const EffectScene& scene) {
  int output_width = 0;
  int output_height = 0;
  if (SDL_GetRendererOutputSize(renderer, &output_width, &output_height) != 0) return false;
  if (!SetDrawColor(renderer, scene.background) || SDL_RenderClear(renderer) != 0) return false;
  if (scene.width <= 0 || scene.height <= 0 || output_width <= 0 || output_height <= 0) return true;

  for (const SlashLine& line : scene.Lz) {
    if (!line.placed) continue;
    // Both end pixels are drawn: the line covers every column from the
    // first to the last.
    const PixelLine p = LinePixels(scene, line, output_width, output_height);
    if (!SetDrawColor(renderer, line.color) ||
        SDL_RenderDrawLine(renderer, p.x1, p.y1, p.x2, p.y2) != 0 ||
        SDL_RenderDrawPoint(renderer, p.x2, p.y2) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace slash
