#include "trace/frame_writer.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "runtime/runtime_error.h"
#include "trace/png_file.h"
#include "window/sdl/scene_renderer.h"

namespace slash {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw RuntimeError::HostFailure(what, kOutputFailureStatus);
}

}  // namespace

FrameWriter::FrameWriter(std::string directory, int width, int height)
    : directory_(std::move(directory)),
      surface_(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888),
               &SDL_FreeSurface),
      renderer_(nullptr, &SDL_DestroyRenderer) {
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
  if (!surface_) Fail(std::string("cannot make a frame surface: ") + SDL_GetError());
  renderer_.reset(SDL_CreateSoftwareRenderer(surface_.get()));
  if (!renderer_) Fail(std::string("cannot draw frames: ") + SDL_GetError());
}

void FrameWriter::Write(std::int64_t tick, const EffectScene& scene) {
  if (!DrawScene(renderer_.get(), scene))
    Fail(std::string("cannot draw a frame: ") + SDL_GetError());
  SDL_RenderPresent(renderer_.get());

  const int width = surface_->w;
  const int height = surface_->h;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  std::size_t at = 0;
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(surface_->pixels) +
                      static_cast<std::ptrdiff_t>(y) * surface_->pitch;
    for (int x = 0; x < width; ++x) {
      std::uint32_t argb = 0;
      std::memcpy(&argb, row + static_cast<std::ptrdiff_t>(x) * 4, sizeof argb);
      rgb[at++] = static_cast<std::uint8_t>(argb >> 16);
      rgb[at++] = static_cast<std::uint8_t>(argb >> 8);
      rgb[at++] = static_cast<std::uint8_t>(argb);
    }
  }
  char name[32];
  std::snprintf(name, sizeof name, "frame-%04lld.png", static_cast<long long>(tick));
  const std::string path = (std::filesystem::path(directory_) / name).string();
  errno = 0;
  if (!WritePng(path, width, height, rgb)) {
    const std::string reason = errno ? std::string(": ") + std::strerror(errno) : "";
    // A frame cut short (a full disk) is not left behind as if it were whole.
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    Fail("cannot write " + path + reason);
  }
}

}  // namespace slash
