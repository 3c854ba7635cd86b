#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "window/effect_scene.h"

struct SDL_Surface;
struct SDL_Renderer;

namespace slash {

// The exit status when a trace or a frame cannot be written, as for a usage error.
constexpr int kOutputFailureStatus = 2;

// Draws scenes offscreen, with the same drawing as the window, and saves each
// one as a PNG: DIR/frame-0000.png for the load, DIR/frame-0001.png for the
// first tick, and so on.
class FrameWriter {
 public:
  // Creates the directory if needed. Raises an output failure (exit status 2) if the
  // directory or the offscreen surface cannot be had.
  FrameWriter(std::string directory, int width, int height);

  // Raises an output failure (exit status 2) when the frame cannot be drawn or written.
  void Write(std::int64_t tick, const EffectScene& scene);

 private:
  std::string directory_;
  std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)> surface_;
  std::unique_ptr<SDL_Renderer, void (*)(SDL_Renderer*)> renderer_;
};

}  // namespace slash
