// The Wayland back end: the window is a full-screen xdg-shell toplevel on
// the output the compositor chooses. Black and the flood are a 2x2 buffer
// of one colour stretched over the output by the viewporter; lines are
// drawn by our own rasterizer into full-size shared-memory pictures, of
// which the compositor shows one while we draw into another.

#include "window/wayland/wayland_backend.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/runtime_error.h"
#include "viewporter-client-protocol.h"
#include "window/effect_scene.h"
#include "window/line_raster.h"
#include "window/scene_pixels.h"
#include "window/setup_deadline.h"
#include "window/tick_timer.h"
#include "window/wayland/shm_buffer.h"
#include "window/wayland/wayland_socket.h"
#include "xdg-shell-client-protocol.h"

namespace slash {
namespace {

// Pictures at most: one shown, one being drawn, one the compositor has
// not yet given back. A fourth would only be needed by a compositor that
// holds buffers for longer, and then the next line waits for a release.
constexpr std::size_t kPictureLimit = 3;

std::string DisplayName() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  return name != nullptr && *name != '\0' ? name : "wayland-0";
}

// libwayland prints its own complaints on stderr; the program reports one
// line of its own instead, so they are kept here for that line.
std::string& LibraryComplaint() {
  static std::string complaint;
  return complaint;
}

void KeepComplaint(const char* format, va_list arguments) {
  char text[256];
  std::vsnprintf(text, sizeof text, format, arguments);
  std::string& complaint = LibraryComplaint();
  complaint = text;
  while (!complaint.empty() && complaint.back() == '\n') complaint.pop_back();
}

[[noreturn]] void ThrowLost(const std::string& why) {
  throw RuntimeError::HostFailure(why, kDisplayLostStatus);
}

// A monitor as the compositor announces it.
struct Output {
  wl_output* output = nullptr;
  PixelSize mode;  // the current mode, in the output's pixels
  std::int32_t scale = 1;
};

// The pixels of one placed line and its colour, as drawn into a picture.
struct DrawnLine {
  PixelLine pixels;
  EffectColor color = kBlack;
  bool operator==(const DrawnLine& other) const {
    return pixels.x1 == other.pixels.x1 && pixels.y1 == other.pixels.y1 &&
           pixels.x2 == other.pixels.x2 && pixels.y2 == other.pixels.y2 && color == other.color;
  }
};

// What a picture shows: its background with lines over it.
struct PictureContent {
  PixelSize size;
  EffectColor background = kBlack;
  std::array<std::optional<DrawnLine>, kLineCount> lines{};
  bool solid = true;  // no line: the stretched one-colour buffer shows it
};

PictureContent SceneContent(const EffectScene& scene, PixelSize size) {
  PictureContent content;
  content.size = size;
  content.background = scene.background;
  for (std::size_t i = 0; i < kLineCount; ++i) {
    const SlashLine& line = scene.Lz[i];
    // A line of the background's colour shows nothing: after the flood the
    // screen is one colour again, and the stretched buffer shows it.
    if (!line.placed || line.color == scene.background) continue;
    content.lines[i] = DrawnLine{LinePixels(scene, line, scene.width, scene.height), line.color};
    content.solid = false;
  }
  return content;
}

// A picture buffer and what it holds.
struct Picture {
  std::unique_ptr<ShmBuffer> buffer;
  PictureContent content;
};

class WaylandBackend : public WindowBackend {
 public:
  WaylandBackend();
  ~WaylandBackend() override;
  WaylandBackend(const WaylandBackend&) = delete;
  WaylandBackend& operator=(const WaylandBackend&) = delete;

  PixelRect PrimaryMonitor() override { return {0, 0, size_.width, size_.height}; }
  void Show(const EffectScene& scene) override;
  void DrawLine(const EffectScene& scene, std::size_t) override { Present(scene); }
  void Repaint(const EffectScene& scene) override { Present(scene); }
  bool WaitUntil(Clock::time_point due) override;
  std::optional<PixelSize> ReportedSize() const override { return reported_size_; }
  void Finish() override { Flush(); }

 private:
  // Set-up, while the deadline is armed.
  void Connect();
  void BindGlobals();
  void CreateWindow();
  void WaitForFirstConfigure();
  [[noreturn]] void FailSetup(const std::string& why) const;

  // Puts the scene up: the one-colour buffer when no line is placed, else a
  // picture brought up to date with it.
  void Present(const EffectScene& scene);
  void PresentSolid(EffectColor color);
  void PresentPicture(const PictureContent& next);
  Picture* FreePicture();
  void Commit(ShmBuffer& buffer, const PictureContent& content, const PixelRect& damage);
  PixelRect Damage(const PictureContent& next) const;

  void Flush();
  void CheckConnection() const;
  void AwaitDisplay(Clock::time_point due);

  // Event handlers.
  static const wl_registry_listener kRegistryListener;
  static const wl_output_listener kOutputListener;
  static const xdg_wm_base_listener kWmBaseListener;
  static const xdg_surface_listener kSurfaceListener;
  static const xdg_toplevel_listener kToplevelListener;
  void OnGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                std::uint32_t version);
  void OnToplevelConfigure(std::int32_t width, std::int32_t height);
  void OnSurfaceConfigure(std::uint32_t serial);

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  std::uint32_t compositor_version_ = 0;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* wm_base_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;

  wl_surface* surface_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  xdg_surface* xdg_surface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  std::unique_ptr<TickTimer> timer_;

  // The size the compositor gave the toplevel (surface units, 0 until it
  // says), and the window's size in pixels.
  PixelSize configured_;
  PixelSize pending_configure_;
  bool configured_once_ = false;
  std::int32_t scale_ = 1;
  PixelSize size_;
  std::optional<PixelSize> reported_size_;

  const EffectScene* shown_ = nullptr;
  PictureContent on_screen_;
  bool anything_shown_ = false;
  std::vector<std::unique_ptr<ShmBuffer>> solids_;  // shown or not yet released
  std::vector<Picture> pictures_;
  bool present_waiting_ = false;  // every picture held by the compositor
  bool output_pending_ = false;
  bool closed_ = false;
};

const wl_registry_listener WaylandBackend::kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          static_cast<WaylandBackend*>(data)->OnGlobal(registry, name, interface, version);
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

const wl_output_listener WaylandBackend::kOutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t, const char*, const char*, std::int32_t) {},
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
          if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
            static_cast<Output*>(data)->mode = PixelSize{width, height};
          }
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { static_cast<Output*>(data)->scale = std::max(1, factor); },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const xdg_wm_base_listener WaylandBackend::kWmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener WaylandBackend::kSurfaceListener = {
    .configure =
        [](void* data, xdg_surface*, std::uint32_t serial) {
          static_cast<WaylandBackend*>(data)->OnSurfaceConfigure(serial);
        },
};

const xdg_toplevel_listener WaylandBackend::kToplevelListener = {
    .configure =
        [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
          static_cast<WaylandBackend*>(data)->OnToplevelConfigure(width, height);
        },
    .close = [](void* data, xdg_toplevel*) { static_cast<WaylandBackend*>(data)->closed_ = true; },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

WaylandBackend::WaylandBackend() {
  // A compositor that accepts the connection and never answers would hold
  // the program in a blocking read: the set-up ends it instead.
  const SetupDeadline deadline(kDisplaySetupLimit,
                               "slash: the Wayland display \"" + DisplayName() +
                                   "\" did not answer in " +
                                   std::to_string(kDisplaySetupLimit.count()) + " s",
                               kNoDisplayStatus);
  wl_log_set_handler_client(&KeepComplaint);
  Connect();
  BindGlobals();
  CreateWindow();
  WaitForFirstConfigure();
  timer_ = std::make_unique<TickTimer>();
}

WaylandBackend::~WaylandBackend() {
  // Every object goes before the connection, so that nothing of the
  // library's is left allocated; the compositor drops the window with the
  // connection either way.
  solids_.clear();
  pictures_.clear();
  if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
  if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
  if (xdg_surface_ != nullptr) xdg_surface_destroy(xdg_surface_);
  if (surface_ != nullptr) wl_surface_destroy(surface_);
  for (const auto& output : outputs_) wl_output_destroy(output->output);
  if (viewporter_ != nullptr) wp_viewporter_destroy(viewporter_);
  if (wm_base_ != nullptr) xdg_wm_base_destroy(wm_base_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  if (display_ != nullptr) wl_display_disconnect(display_);
}

void WaylandBackend::Connect() {
  // The library's own reasons for a failed connection say little; these
  // say which socket is missing.
  const std::string path = WaylandSocketPath(DisplayName(), ProcessEnvironment);
  if (path.empty()) FailSetup("XDG_RUNTIME_DIR is not set");
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr)
    FailSetup(errno == ENOENT ? "there is no " + path : std::strerror(errno));
}

[[noreturn]] void WaylandBackend::FailSetup(const std::string& why) const {
  throw RuntimeError::HostFailure(
      "cannot open the Wayland display \"" + DisplayName() + "\": " + why, kNoDisplayStatus);
}

void WaylandBackend::OnGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                              std::uint32_t version) {
  const std::string which = interface;
  if (which == wl_compositor_interface.name && compositor_ == nullptr) {
    compositor_version_ = std::min(version, 4u);
    compositor_ = static_cast<wl_compositor*>(
        wl_registry_bind(registry, name, &wl_compositor_interface, compositor_version_));
  } else if (which == wl_shm_interface.name && shm_ == nullptr) {
    shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (which == xdg_wm_base_interface.name && wm_base_ == nullptr) {
    wm_base_ =
        static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(wm_base_, &kWmBaseListener, this);
  } else if (which == wp_viewporter_interface.name && viewporter_ == nullptr) {
    viewporter_ =
        static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
  } else if (which == wl_output_interface.name) {
    auto output = std::make_unique<Output>();
    output->output = static_cast<wl_output*>(
        wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    outputs_.push_back(std::move(output));
  }
}

void WaylandBackend::BindGlobals() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The first round trip lists the globals, the second the outputs' modes.
  for (int trip = 0; trip < 2; ++trip) {
    if (wl_display_roundtrip(display_) < 0) {
      FailSetup(LibraryComplaint().empty() ? std::strerror(wl_display_get_error(display_))
                                           : LibraryComplaint());
    }
  }
  const std::pair<const void*, const char*> required[] = {{compositor_, "wl_compositor"},
                                                          {shm_, "wl_shm"},
                                                          {wm_base_, "xdg_wm_base"},
                                                          {viewporter_, "wp_viewporter"}};
  for (const auto& [global, name] : required) {
    if (global == nullptr) FailSetup(std::string("the compositor offers no ") + name);
  }
}

void WaylandBackend::CreateWindow() {
  surface_ = wl_compositor_create_surface(compositor_);
  viewport_ = wp_viewporter_get_viewport(viewporter_, surface_);
  xdg_surface_ = xdg_wm_base_get_xdg_surface(wm_base_, surface_);
  xdg_surface_add_listener(xdg_surface_, &kSurfaceListener, this);
  toplevel_ = xdg_surface_get_toplevel(xdg_surface_);
  xdg_toplevel_add_listener(toplevel_, &kToplevelListener, this);
  xdg_toplevel_set_title(toplevel_, "slash");
  xdg_toplevel_set_app_id(toplevel_, "slash");
  // No output named: the compositor's choice, the one the user works on.
  xdg_toplevel_set_fullscreen(toplevel_, nullptr);
  // A commit without a buffer asks for the first configure.
  wl_surface_commit(surface_);
}

void WaylandBackend::WaitForFirstConfigure() {
  while (!configured_once_ && !closed_) {
    if (wl_display_dispatch(display_) < 0) {
      FailSetup(LibraryComplaint().empty() ? std::strerror(wl_display_get_error(display_))
                                           : LibraryComplaint());
    }
  }
  // Until the window is shown the compositor does not say which output it
  // goes on; a full-screen toplevel may be configured 0x0 ("your choice").
  // The first output with a mode stands in, and a later configure corrects
  // it.
  const Output* output = nullptr;
  for (const auto& candidate : outputs_) {
    if (candidate->mode.width > 0 && candidate->mode.height > 0) {
      output = candidate.get();
      break;
    }
  }
  if (output != nullptr) scale_ = output->scale;
  if (configured_.width > 0 && configured_.height > 0) {
    size_ = PixelSize{configured_.width * scale_, configured_.height * scale_};
  } else if (output != nullptr) {
    size_ = output->mode;
    configured_ = PixelSize{size_.width / scale_, size_.height / scale_};
  } else {
    FailSetup("the compositor names no output and no size for the window");
  }
}

void WaylandBackend::OnToplevelConfigure(std::int32_t width, std::int32_t height) {
  pending_configure_ = PixelSize{width, height};
}

void WaylandBackend::OnSurfaceConfigure(std::uint32_t serial) {
  xdg_surface_ack_configure(xdg_surface_, serial);
  configured_once_ = true;
  if (shown_ == nullptr) return;  // the size is read once the set-up is done
  const PixelSize next = pending_configure_;
  if (next.width <= 0 || next.height <= 0 || next == configured_) {
    // A compositor may hold its next frame until the acknowledged state is
    // committed: the same picture, committed again, completes it.
    wl_surface_commit(surface_);
    output_pending_ = true;
    return;
  }
  configured_ = next;
  // Resized while shown: the window follows at once; the scene takes the
  // new size at its next tick.
  size_ = PixelSize{next.width * scale_, next.height * scale_};
  reported_size_ = size_;
  anything_shown_ = false;
  Present(*shown_);
}

void WaylandBackend::Show(const EffectScene& scene) {
  shown_ = &scene;
  Present(scene);
  Flush();
  CheckConnection();
}

void WaylandBackend::Present(const EffectScene& scene) {
  const PictureContent next = SceneContent(scene, size_);
  if (next.solid) {
    PresentSolid(scene.background);
  } else {
    PresentPicture(next);
  }
}

void WaylandBackend::PresentSolid(EffectColor color) {
  if (anything_shown_ && on_screen_.solid && on_screen_.background == color &&
      on_screen_.size == size_) {
    return;
  }
  present_waiting_ = false;
  // Buffers the compositor has given back are dropped; a 2x2 buffer whose
  // top-left pixel is stretched keeps every output row exact where a 1x1
  // buffer can leave the filtered edge short.
  std::erase_if(solids_, [](const auto& buffer) { return !buffer->busy(); });
  auto buffer = std::make_unique<ShmBuffer>(*shm_, PixelSize{2, 2});
  buffer->Fill(XrgbPixel(color));
  wp_viewport_set_source(viewport_, 0, 0, wl_fixed_from_int(1), wl_fixed_from_int(1));
  PictureContent content;
  content.size = size_;
  content.background = color;
  Commit(*buffer, content, PixelRect{0, 0, 2, 2});
  solids_.push_back(std::move(buffer));
}

Picture* WaylandBackend::FreePicture() {
  // Pictures of an old size are dropped once the compositor gives them back.
  std::erase_if(pictures_, [this](const Picture& picture) {
    return !picture.buffer->busy() && !(picture.buffer->size() == size_);
  });
  for (Picture& picture : pictures_) {
    if (!picture.buffer->busy() && picture.buffer->size() == size_) return &picture;
  }
  if (pictures_.size() >= kPictureLimit) return nullptr;
  pictures_.push_back(Picture{std::make_unique<ShmBuffer>(*shm_, size_), PictureContent{}});
  pictures_.back().content.size = size_;
  return &pictures_.back();
}

void WaylandBackend::PresentPicture(const PictureContent& next) {
  Picture* picture = FreePicture();
  if (picture == nullptr) {
    // Every picture is still on the compositor's side: the lines go up
    // with the next release.
    present_waiting_ = true;
    return;
  }
  present_waiting_ = false;
  PictureContent& held = picture->content;
  const PixelRect whole{0, 0, size_.width, size_.height};
  bool redraw = held.background != next.background;
  for (std::size_t i = 0; i < kLineCount && !redraw; ++i) {
    redraw = held.lines[i] && held.lines[i] != next.lines[i];
  }
  if (redraw) picture->buffer->Fill(XrgbPixel(next.background));
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (!next.lines[i] || (!redraw && held.lines[i])) continue;
    picture->buffer->FillRuns(LineRuns(next.lines[i]->pixels, whole),
                              XrgbPixel(next.lines[i]->color));
  }
  held = next;
  wp_viewport_set_source(viewport_, wl_fixed_from_int(-1), wl_fixed_from_int(-1),
                         wl_fixed_from_int(-1), wl_fixed_from_int(-1));
  Commit(*picture->buffer, next, Damage(next));
}

PixelRect WaylandBackend::Damage(const PictureContent& next) const {
  const PixelRect whole{0, 0, size_.width, size_.height};
  if (!anything_shown_ || on_screen_.solid || !(on_screen_.size == next.size) ||
      on_screen_.background != next.background) {
    return whole;
  }
  // Only the rows of what changed: the compositor then repaints little.
  int top = size_.height;
  int bottom = -1;
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (on_screen_.lines[i] == next.lines[i]) continue;
    for (const auto& line : {on_screen_.lines[i], next.lines[i]}) {
      if (!line) continue;
      top = std::min({top, line->pixels.y1, line->pixels.y2});
      bottom = std::max({bottom, line->pixels.y1, line->pixels.y2});
    }
  }
  if (bottom < top) return PixelRect{0, 0, 0, 0};
  return PixelRect{0, top, size_.width, bottom - top + 1};
}

void WaylandBackend::Commit(ShmBuffer& buffer, const PictureContent& content,
                            const PixelRect& damage) {
  wp_viewport_set_destination(viewport_, configured_.width, configured_.height);
  wl_surface_attach(surface_, buffer.buffer(), 0, 0);
  if (compositor_version_ >= 4) {
    wl_surface_damage_buffer(surface_, damage.x, damage.y, damage.width, damage.height);
  } else {
    wl_surface_damage(surface_, 0, 0, configured_.width, configured_.height);
  }
  wl_surface_commit(surface_);
  buffer.MarkBusy();
  on_screen_ = content;
  anything_shown_ = true;
  output_pending_ = true;
  Flush();
}

void WaylandBackend::Flush() {
  if (!output_pending_) return;
  // Never waits: a compositor that stops reading leaves the rest queued,
  // and the wait sends it once the socket takes it.
  if (wl_display_flush(display_) >= 0) {
    output_pending_ = false;
  } else if (errno != EAGAIN) {
    CheckConnection();
    ThrowLost("lost the connection to the display");
  }
}

void WaylandBackend::CheckConnection() const {
  const int error = wl_display_get_error(display_);
  if (error == 0) return;
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    ThrowLost("the Wayland compositor ended the connection: protocol error " +
              std::to_string(code) + " on " + (interface != nullptr ? interface->name : "unknown"));
  }
  ThrowLost("lost the connection to the display");
}

void WaylandBackend::AwaitDisplay(Clock::time_point due) {
  timer_->Arm(due);
  while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
  const short socket_events = static_cast<short>(POLLIN | (output_pending_ ? POLLOUT : 0));
  pollfd watched[] = {{wl_display_get_fd(display_), socket_events, 0}, {timer_->fd(), POLLIN, 0}};
  if (poll(watched, 2, -1) < 0) {
    wl_display_cancel_read(display_);
    if (errno == EINTR) return;
    ThrowLost(std::string("cannot wait for the display: ") + std::strerror(errno));
  }
  if ((watched[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    if (wl_display_read_events(display_) < 0) CheckConnection();
  } else {
    wl_display_cancel_read(display_);
  }
  if ((watched[0].revents & POLLOUT) != 0) Flush();
  if ((watched[1].revents & POLLIN) != 0) timer_->Clear();
}

bool WaylandBackend::WaitUntil(Clock::time_point due) {
  for (;;) {
    if (wl_display_dispatch_pending(display_) < 0) CheckConnection();
    CheckConnection();
    if (closed_) return false;
    if (present_waiting_ && shown_ != nullptr) Present(*shown_);
    Flush();
    if (Clock::now() >= due) return true;
    AwaitDisplay(due);
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenWaylandBackend() {
  return std::make_unique<WaylandBackend>();
}

}  // namespace slash
