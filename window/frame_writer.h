#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <string>

#include "window/effect_scene.h"

namespace slash {

// Draws scenes offscreen, with the same drawing as the window, and saves each
// one as a PNG: DIR/frame-0000.png for the load, DIR/frame-0001.png for the
// first tick, and so on.
class FrameWriter {
 public:
  // Creates the directory if needed. Raises the output failure if the
  // directory or the offscreen surface cannot be had.
  FrameWriter(std::string directory, int width, int height);

  // Raises the output failure when the frame cannot be drawn or written.
  void Write(std::int64_t tick, const EffectScene& scene);

 private:
  std::string directory_;
  std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface_;
  std::unique_ptr<SDL_Renderer, decltype(&SDL_DestroyRenderer)> renderer_;
};

}  // namespace slash
