#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "window/effect_scene.h"

namespace slash {

// Draws scenes offscreen, with the X server's own line rule, so that each
// frame is what the window shows, and saves each one as a PNG: DIR/frame-0000.png for the load,
// DIR/frame-0001.png for the first tick, and so on.
class FrameWriter {
 public:
  // Creates the directory if needed. Raises an output failure (exit status 2) if the
  // directory cannot be had or already holds frames.
  FrameWriter(std::string directory, int width, int height);

  // Raises an output failure (exit status 2) when the frame cannot be written.
  void Write(std::int64_t tick, const EffectScene& scene);

 private:
  void Draw(const EffectScene& scene);
  void Paint(std::size_t pixel, EffectColor color);

  std::string directory_;
  int width_;
  int height_;
  std::vector<std::uint8_t> rgb_;  // the frame, three bytes a pixel, row by row
};

}  // namespace slash
