#include "window/wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/runtime_error.h"
#include "window/scene_pixels.h"

namespace slash {
namespace {

[[noreturn]] void ThrowNoMemory(const char* what) {
  throw RuntimeError::HostFailure(
      std::string("cannot share the window's pixels: ") + what + ": " + std::strerror(errno),
      kStatusDisplayLost);
}

std::uint32_t WireFormat(ShmFormat format) {
  return format == ShmFormat::kRgb565 ? WL_SHM_FORMAT_RGB565 : WL_SHM_FORMAT_XRGB8888;
}

}  // namespace

int BytesPerPixel(ShmFormat format) {
  return format == ShmFormat::kRgb565 ? 2 : 4;
}

std::uint32_t XrgbPixel(EffectColor color) {
  const Rgb rgb = ToRgb(color);
  return (std::uint32_t{rgb.r} << 16) | (std::uint32_t{rgb.g} << 8) | rgb.b;
}

std::uint16_t Rgb565Pixel(EffectColor color) {
  const Rgb rgb = ToRgb(color);
  return static_cast<std::uint16_t>(((rgb.r >> 3) << 11) | ((rgb.g >> 2) << 5) | (rgb.b >> 3));
}

ShmBuffer::ShmBuffer(wl_shm& shm, ScreenSize size, ShmFormat format)
    : size_(size), format_(format) {
  const std::size_t stride = static_cast<std::size_t>(size.width) * BytesPerPixel(format);
  bytes_ = stride * static_cast<std::size_t>(size.height);
  const int fd = memfd_create("slash-window", MFD_CLOEXEC);
  if (fd < 0) ThrowNoMemory("memfd_create");
  if (ftruncate(fd, static_cast<off_t>(bytes_)) != 0) {
    close(fd);
    ThrowNoMemory("ftruncate");
  }
  void* mapped = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) {
    close(fd);
    ThrowNoMemory("mmap");
  }
  pixels_ = mapped;
  // The pool is only the way to name the memory to the compositor; the
  // buffer keeps what it needs of it.
  wl_shm_pool* pool = wl_shm_create_pool(&shm, fd, static_cast<std::int32_t>(bytes_));
  buffer_ = wl_shm_pool_create_buffer(pool, 0, size.width, size.height,
                                      static_cast<std::int32_t>(stride), WireFormat(format));
  wl_shm_pool_destroy(pool);
  close(fd);
  static const wl_buffer_listener listener = {
      .release = &ShmBuffer::OnRelease,
  };
  wl_buffer_add_listener(buffer_, &listener, this);
}

ShmBuffer::~ShmBuffer() {
  if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
  if (pixels_ != nullptr) munmap(pixels_, bytes_);
}

void ShmBuffer::OnRelease(void* data, wl_buffer*) {
  static_cast<ShmBuffer*>(data)->busy_ = false;
}

void ShmBuffer::Fill(EffectColor color) {
  if (color == kBlack && untouched_) return;
  if (format_ == ShmFormat::kRgb565) {
    auto* pixels = static_cast<std::uint16_t*>(pixels_);
    std::fill(pixels, pixels + bytes_ / 2, Rgb565Pixel(color));
  } else {
    auto* pixels = static_cast<std::uint32_t*>(pixels_);
    std::fill(pixels, pixels + bytes_ / 4, XrgbPixel(color));
  }
  untouched_ = false;
}

void ShmBuffer::FillRuns(const std::vector<PixelRun>& runs, EffectColor color) {
  if (format_ == ShmFormat::kRgb565) {
    FillRunsAs(runs, Rgb565Pixel(color));
  } else {
    FillRunsAs(runs, XrgbPixel(color));
  }
  if (!runs.empty()) untouched_ = false;
}

template <typename Pixel>
void ShmBuffer::FillRunsAs(const std::vector<PixelRun>& runs, Pixel pixel) {
  const auto width = static_cast<std::size_t>(size_.width);
  for (const PixelRun& run : runs) {
    Pixel* at = static_cast<Pixel*>(pixels_) + static_cast<std::size_t>(run.y) * width + run.x;
    if (run.horizontal) {
      std::fill(at, at + run.length, pixel);
    } else {
      for (int i = 0; i < run.length; ++i, at += width) *at = pixel;
    }
  }
}

}  // namespace slash
