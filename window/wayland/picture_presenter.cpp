#include "window/wayland/picture_presenter.h"

#include <wayland-client.h>

#include <algorithm>

#include "viewporter-client-protocol.h"
#include "window/line_raster.h"

namespace slash {
namespace {

// Pictures at most: one shown, one being drawn, one the compositor has
// not yet given back. A fourth would only be needed by a compositor that
// holds buffers for longer, and then the next line waits for a release.
constexpr std::size_t kPictureLimit = 3;

}  // namespace

PicturePresenter::PicturePresenter(wl_shm& shm, wl_surface& surface, wp_viewport* viewport,
                                   std::uint32_t compositor_version, PictureFormats formats)
    : shm_(shm),
      surface_(surface),
      viewport_(viewport),
      compositor_version_(compositor_version),
      formats_(formats) {}

void PicturePresenter::Resize(const SurfaceLayout& layout) {
  layout_ = layout;
  size_ = ScreenSize{static_cast<std::int32_t>(layout.picture_width),
                     static_cast<std::int32_t>(layout.picture_height)};
  on_screen_.reset();
}

bool PicturePresenter::Present(const PictureContent& content) {
  if (!content.solid) return PresentPicture(content);
  PresentSolid(content.background);
  return true;
}

ShmBuffer& PicturePresenter::SolidBuffer(EffectColor color) {
  // A 2x2 buffer whose top-left pixel is stretched keeps every output row
  // exact where a 1x1 buffer can leave the filtered edge short. Where the
  // stretch cannot be had or trusted, a picture of the window's size.
  const bool stretched = Stretched();
  const ScreenSize size = stretched ? ScreenSize{2, 2} : size_;
  const ShmFormat format = stretched ? formats_.solid : formats_.picture;
  std::unique_ptr<ShmBuffer>& solid = solids_[color];
  if (solid && !(solid->size() == size) && !solid->busy()) solid.reset();
  if (!solid) {
    solid = std::make_unique<ShmBuffer>(shm_, size, format);
    solid->Fill(color);
  }
  return *solid;
}

void PicturePresenter::PresentSolid(EffectColor color) {
  if (on_screen_ && on_screen_->solid && on_screen_->background == color) return;
  // Only the latest colour's buffer is kept while the compositor no
  // longer holds the others.
  std::erase_if(solids_, [color](const auto& entry) {
    return entry.first != color && !entry.second->busy();
  });
  ShmBuffer& buffer = SolidBuffer(color);
  if (Stretched()) {
    wp_viewport_set_source(viewport_, 0, 0, wl_fixed_from_int(1), wl_fixed_from_int(1));
  } else if (viewport_ != nullptr) {
    UnsetSource();
  }
  PictureContent content;
  content.size = size_;
  content.background = color;
  Commit(buffer, content, PixelRect{0, 0, buffer.size().width, buffer.size().height});
}

PicturePresenter::Picture* PicturePresenter::FreePicture() {
  // Pictures of an old size are dropped once the compositor gives them back.
  std::erase_if(pictures_, [this](const Picture& picture) {
    return !picture.buffer->busy() && !(picture.buffer->size() == size_);
  });
  for (Picture& picture : pictures_) {
    if (!picture.buffer->busy() && picture.buffer->size() == size_) return &picture;
  }
  if (pictures_.size() >= kPictureLimit) return nullptr;
  pictures_.push_back(
      Picture{std::make_unique<ShmBuffer>(shm_, size_, formats_.picture), PictureContent{}});
  pictures_.back().content.size = size_;
  return &pictures_.back();
}

bool PicturePresenter::PresentPicture(const PictureContent& next) {
  Picture* picture = FreePicture();
  if (picture == nullptr) return false;
  const bool redraw = NeedsRedraw(picture->content, next);
  if (redraw) picture->buffer->Fill(next.background);
  const PixelRect whole{0, 0, size_.width, size_.height};
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (!next.lines[i] || (!redraw && picture->content.lines[i])) continue;
    picture->buffer->FillRuns(LineRuns(next.lines[i]->pixels, whole), next.lines[i]->color);
  }
  picture->content = next;
  if (viewport_ != nullptr) UnsetSource();
  Commit(*picture->buffer, next, Damage(on_screen_, next));
  return true;
}

bool PicturePresenter::Stretched() const {
  return viewport_ != nullptr && layout_.stretch_solid;
}

void PicturePresenter::UnsetSource() {
  // The whole picture, unstretched.
  wp_viewport_set_source(viewport_, wl_fixed_from_int(-1), wl_fixed_from_int(-1),
                         wl_fixed_from_int(-1), wl_fixed_from_int(-1));
}

void PicturePresenter::Commit(ShmBuffer& buffer, const PictureContent& content,
                              const PixelRect& damage) {
  const auto width = static_cast<std::int32_t>(layout_.logical_width);
  const auto height = static_cast<std::int32_t>(layout_.logical_height);
  if (viewport_ != nullptr) {
    wp_viewport_set_destination(viewport_, width, height);
  } else if (compositor_version_ >= 3) {
    wl_surface_set_buffer_scale(&surface_, layout_.buffer_scale);
  }
  wl_surface_attach(&surface_, buffer.buffer(), 0, 0);
  if (compositor_version_ >= 4) {
    wl_surface_damage_buffer(&surface_, damage.x, damage.y, damage.width, damage.height);
  } else {
    wl_surface_damage(&surface_, 0, 0, width, height);
  }
  wl_surface_commit(&surface_);
  buffer.MarkBusy();
  on_screen_ = content;
}

}  // namespace slash
