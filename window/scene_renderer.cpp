#include "window/scene_renderer.h"

#include <algorithm>
#include <cmath>

namespace slash {
namespace {

// The device pixel that holds a scene coordinate: the scene extent maps onto
// the output's pixels, and the far edge (x = W) falls on the last pixel.
int ToPixel(float coordinate, std::int32_t scene_extent, int output_extent) {
  const double scaled = static_cast<double>(coordinate) * output_extent / scene_extent;
  const double pixel = std::floor(scaled);
  return static_cast<int>(std::clamp(pixel, 0.0, static_cast<double>(output_extent - 1)));
}

bool SetDrawColor(SDL_Renderer* renderer, EffectColor color) {
  const SDL_Color c = ToSdlColor(color);
  return SDL_SetRenderDrawColor(renderer, c.r, c.g, c.b, SDL_ALPHA_OPAQUE) == 0;
}

}  // namespace

SDL_Color ToSdlColor(EffectColor color) {
  return SDL_Color{static_cast<Uint8>(color & 0xFF), static_cast<Uint8>((color >> 8) & 0xFF),
                   static_cast<Uint8>((color >> 16) & 0xFF), SDL_ALPHA_OPAQUE};
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
    const int x1 = ToPixel(line.x1, scene.width, output_width);
    const int y1 = ToPixel(line.y1, scene.height, output_height);
    const int x2 = ToPixel(line.x2, scene.width, output_width);
    const int y2 = ToPixel(line.y2, scene.height, output_height);
    if (!SetDrawColor(renderer, line.color) || SDL_RenderDrawLine(renderer, x1, y1, x2, y2) != 0 ||
        SDL_RenderDrawPoint(renderer, x2, y2) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace slash
