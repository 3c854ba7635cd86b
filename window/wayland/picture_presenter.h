#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "window/wayland/picture_content.h"
#include "window/wayland/shm_buffer.h"
#include "window/wayland/surface_layout.h"

struct wl_shm;
struct wl_surface;
struct wp_viewport;

namespace slash {

// Puts pictures on the window's surface. One colour (black, the flood) is
// a 2x2 buffer the viewport stretches over the window, or without a
// viewport a picture of the window's size; lines go into full-size
// pictures, of which the compositor shows one while another is drawn, each
// brought up to date with only the lines it lacks and damaged by the rows
// that changed.
class PicturePresenter {
 public:
  // The formats pictures of lines and stretched one-colour buffers are made in.
  struct PictureFormats {
    ShmFormat picture = ShmFormat::kXrgb8888;
    ShmFormat solid = ShmFormat::kXrgb8888;
  };

  // `viewport` may be null: the compositor has no viewporter.
  PicturePresenter(wl_shm& shm, wl_surface& surface, wp_viewport* viewport,
                   std::uint32_t compositor_version, PictureFormats formats);

  // The size pictures have from now on; the next Present shows all of it.
  void Resize(const SurfaceLayout& layout);
  // Attaches and commits `content`; false when every picture is still the
  // compositor's, and the content goes up with the next call.
  bool Present(const PictureContent& content);

 private:
  struct Picture {
    std::unique_ptr<ShmBuffer> buffer;
    PictureContent content;
  };

  void PresentSolid(EffectColor color);
  bool PresentPicture(const PictureContent& next);
  ShmBuffer& SolidBuffer(EffectColor color);
  Picture* FreePicture();
  bool Stretched() const;
  void UnsetSource();
  void Commit(ShmBuffer& buffer, const PictureContent& content, const PixelRect& damage);

  wl_shm& shm_;
  wl_surface& surface_;
  wp_viewport* viewport_;
  std::uint32_t compositor_version_;
  PictureFormats formats_;
  SurfaceLayout layout_;
  ScreenSize size_;                                           // the pictures' size in pixels
  std::optional<PictureContent> on_screen_;                   // nothing since the last resize
  std::map<EffectColor, std::unique_ptr<ShmBuffer>> solids_;  // made once a colour and size
  std::vector<Picture> pictures_;
};

}  // namespace slash
