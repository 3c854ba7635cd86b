#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "window/line_raster.h"
#include "window/window_backend.h"

struct wl_buffer;
struct wl_shm;

namespace slash {

// How a picture stores a pixel. Every effect colour has each channel at 0
// or full, so both are exact; RGB565 needs half the memory.
enum class ShmFormat { kXrgb8888, kRgb565 };

int BytesPerPixel(ShmFormat format);

// A picture shared with the compositor: a memfd mapped here and handed
// over as one wl_buffer. While the compositor holds it (from the commit
// that shows it until its release event) it reads the pixels in place, so
// nothing may be written to it then.
class ShmBuffer {
 public:
  // The size must have passed PictureRefusal for the format. Raises the
  // display-lost failure when the memory or the buffer cannot be had.
  ShmBuffer(wl_shm& shm, ScreenSize size, ShmFormat format);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  ScreenSize size() const { return size_; }
  wl_buffer* buffer() const { return buffer_; }
  bool busy() const { return busy_; }
  // Called when the buffer is attached and committed; the release event
  // clears it.
  void MarkBusy() { busy_ = true; }

  // Every pixel `color`. A fresh buffer is already black, and black over
  // it costs nothing: the kernel hands out zeroed pages, so a black
  // picture touches none of them.
  void Fill(EffectColor color);
  void FillRuns(const std::vector<PixelRun>& runs, EffectColor color);

 private:
  static void OnRelease(void* data, wl_buffer* buffer);
  template <typename Pixel>
  void FillRunsAs(const std::vector<PixelRun>& runs, Pixel pixel);

  ScreenSize size_;
  ShmFormat format_;
  void* pixels_ = nullptr;
  std::size_t bytes_ = 0;
  wl_buffer* buffer_ = nullptr;
  bool busy_ = false;
  bool untouched_ = true;  // still the kernel's zeroed pages
};

// An EffectColor (0x00BBGGRR) as an XRGB8888 or RGB565 pixel.
std::uint32_t XrgbPixel(EffectColor color);
std::uint16_t Rgb565Pixel(EffectColor color);

}  // namespace slash
