#include "trace/frame_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "runtime/runtime_error.h"
#include "trace/png_file.h"
#include "window/line_raster.h"
#include "window/scene_pixels.h"

namespace slash {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw RuntimeError::HostFailure(what, kStatusOutputFailure);
}

}  // namespace

FrameWriter::FrameWriter(std::string directory, int width, int height)
    : directory_(std::move(directory)),
      width_(width),
      height_(height),
      rgb_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (error) Fail("cannot create " + directory_ + ": " + error.message());
  // Frames of an earlier run would mix with this one's under frame-*.png.
  for (const auto& entry : std::filesystem::directory_iterator(directory_, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("frame-", 0) == 0 && entry.path().extension() == ".png") {
      Fail(directory_ + " already holds frames (" + name +
           "); remove them or choose another folder");
    }
  }
  if (error) Fail("cannot read " + directory_ + ": " + error.message());
}

void FrameWriter::Paint(std::size_t pixel, EffectColor color) {
  const Rgb rgb = ToRgb(color);
  rgb_[pixel * 3] = rgb.r;
  rgb_[pixel * 3 + 1] = rgb.g;
  rgb_[pixel * 3 + 2] = rgb.b;
}

void FrameWriter::Draw(const EffectScene& scene) {
  // The background over the whole frame, then each placed line on top with
  // the X server's own line rule, as the window shows them.
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  for (std::size_t i = 0; i < pixels; ++i) Paint(i, scene.background);
  ForEachLinePixel(scene, width_, height_, [this](int x, int y, EffectColor color) {
    Paint(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
              static_cast<std::size_t>(x),
          color);
  });
}

void FrameWriter::Write(std::int64_t tick, const EffectScene& scene) {
  Draw(scene);
  char name[32];
  std::snprintf(name, sizeof name, "frame-%04lld.png", static_cast<long long>(tick));
  const std::string path = (std::filesystem::path(directory_) / name).string();
  errno = 0;
  if (!WritePng(path, width_, height_, rgb_)) {
    const std::string reason = errno ? std::string(": ") + std::strerror(errno) : "";
    // A frame cut short (a full disk) is not left behind as if it were whole.
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    Fail("cannot write " + path + reason);
  }
}

}  // namespace slash
