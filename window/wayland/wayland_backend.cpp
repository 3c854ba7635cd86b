// The Wayland back end: the window is a full-screen xdg-shell toplevel on
// the output the compositor chooses, one picture pixel to a screen pixel.
//
// Start here. The rooms: WaylandConnection (the globals, the socket, the
// compositor's errors), WaylandOutputs (the monitors and which the window
// is on), HiddenPointer, PicturePresenter (the pictures and their damage),
// and this file, the toplevel: it answers configures and resizes, and
// implements the WindowBackend calls. Events are read in one place
// (WaitUntil, and the set-up's dispatch) and their handlers only record
// what they say; requests are made in one place (SendReplies and
// Present), and only once the socket has taken everything sent before.

#include "window/wayland/wayland_backend.h"

#include <wayland-client.h>

#include <memory>
#include <optional>
#include <string>

#include "fractional-scale-v1-client-protocol.h"
#include "runtime/runtime_error.h"
#include "viewporter-client-protocol.h"
#include "window/linux/display_names.h"
#include "window/linux/setup_deadline.h"
#include "window/linux/tick_timer.h"
#include "window/wayland/picture_content.h"
#include "window/wayland/picture_presenter.h"
#include "window/wayland/surface_layout.h"
#include "window/wayland/wayland_connection.h"
#include "xdg-shell-client-protocol.h"

namespace slash {
namespace {

// What the compositor said of the window, as events recorded it until the
// next SendReplies.
struct ToplevelState {
  ScreenSize proposed;                     // from the latest toplevel configure
  ScreenSize configured;                   // from the latest acknowledged one
  std::optional<std::uint32_t> configure;  // the latest configure's serial, to acknowledge
  std::uint32_t fractional_scale = 0;      // in 120ths; 0 until one is sent
  bool configured_once = false;
  bool scale_changed = false;
  bool closed = false;
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
  std::optional<ScreenSize> ReportedSize() const override { return reported_size_; }
  void Finish() override { connection_.SendQueued(); }

 private:
  void CreateWindow();
  void Release();
  void WaitForFirstConfigure();
  // Sends what the events asked for, once the socket can take it.
  void SendReplies();
  // Works out the pictures' size from what the compositor has said; true
  // when it changed. Refuses sizes no picture can have.
  bool Relayout();
  PicturePresenter::PictureFormats Formats() const;
  // Puts the scene up, once the socket has taken what went before.
  void Present(const EffectScene& scene);

  static const wl_surface_listener kSurfaceListener;
  static const wp_fractional_scale_v1_listener kFractionalScaleListener;
  static const xdg_surface_listener kXdgSurfaceListener;
  static const xdg_toplevel_listener kToplevelListener;

  // Armed before the connection is made, disarmed once the window is set
  // up: a compositor that accepts the connection and never answers would
  // otherwise hold the program in a blocking read.
  std::unique_ptr<SetupDeadline> setup_deadline_;
  WaylandConnection connection_;
  wl_surface* surface_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractional_scale_ = nullptr;
  xdg_surface* xdg_surface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  std::unique_ptr<PicturePresenter> presenter_;
  std::unique_ptr<TickTimer> timer_;
  ToplevelState toplevel_state_;
  SurfaceLayout layout_;
  ScreenSize size_;  // the pictures' size in pixels
  std::optional<ScreenSize> reported_size_;
  const EffectScene* shown_ = nullptr;
  bool present_waiting_ = false;  // a picture the socket or the compositor held up
};

const wl_surface_listener WaylandBackend::kSurfaceListener = {
    .enter =
        [](void* data, wl_surface*, wl_output* output) {
          static_cast<WaylandBackend*>(data)->connection_.outputs().SurfaceOn(output, true);
        },
    .leave =
        [](void* data, wl_surface*, wl_output* output) {
          static_cast<WaylandBackend*>(data)->connection_.outputs().SurfaceOn(output, false);
        },
};

const wp_fractional_scale_v1_listener WaylandBackend::kFractionalScaleListener = {
    .preferred_scale =
        [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
          ToplevelState& state = static_cast<WaylandBackend*>(data)->toplevel_state_;
          state.fractional_scale = scale;
          state.scale_changed = true;
        },
};

const xdg_surface_listener WaylandBackend::kXdgSurfaceListener = {
    .configure =
        [](void* data, xdg_surface*, std::uint32_t serial) {
          ToplevelState& state = static_cast<WaylandBackend*>(data)->toplevel_state_;
          // Only the latest counts: a burst of them is answered once.
          state.configure = serial;
          state.configured_once = true;
        },
};

const xdg_toplevel_listener WaylandBackend::kToplevelListener = {
    .configure =
        [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
          static_cast<WaylandBackend*>(data)->toplevel_state_.proposed = ScreenSize{width, height};
        },
    .close =
        [](void* data, xdg_toplevel*) {
          static_cast<WaylandBackend*>(data)->toplevel_state_.closed = true;
        },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

WaylandBackend::WaylandBackend()
    : setup_deadline_(std::make_unique<SetupDeadline>(
          kDisplaySetupLimit, NoAnswerReport("Wayland display \"" + WaylandDisplayName() + "\""),
          kStatusNoDisplay)) {
  try {
    CreateWindow();
    WaitForFirstConfigure();
    timer_ = std::make_unique<TickTimer>();
    setup_deadline_.reset();
  } catch (...) {
    // A constructor that throws runs no destructor.
    Release();
    throw;
  }
}

WaylandBackend::~WaylandBackend() {
  Release();
}

void WaylandBackend::Release() {
  // Every object goes before the connection (a member, released after
  // this), so that nothing of the library's is left allocated.
  presenter_.reset();
  if (fractional_scale_ != nullptr) wp_fractional_scale_v1_destroy(fractional_scale_);
  if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
  if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
  if (xdg_surface_ != nullptr) xdg_surface_destroy(xdg_surface_);
  if (surface_ != nullptr) wl_surface_destroy(surface_);
  fractional_scale_ = nullptr;
  viewport_ = nullptr;
  toplevel_ = nullptr;
  xdg_surface_ = nullptr;
  surface_ = nullptr;
}

void WaylandBackend::CreateWindow() {
  const WaylandGlobals& globals = connection_.globals();
  surface_ = wl_compositor_create_surface(globals.compositor);
  wl_surface_add_listener(surface_, &kSurfaceListener, this);
  if (globals.viewporter != nullptr) {
    viewport_ = wp_viewporter_get_viewport(globals.viewporter, surface_);
  }
  if (viewport_ != nullptr && globals.fractional_manager != nullptr) {
    fractional_scale_ =
        wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractional_manager, surface_);
    wp_fractional_scale_v1_add_listener(fractional_scale_, &kFractionalScaleListener, this);
  }
  xdg_surface_ = xdg_wm_base_get_xdg_surface(globals.wm_base, surface_);
  xdg_surface_add_listener(xdg_surface_, &kXdgSurfaceListener, this);
  toplevel_ = xdg_surface_get_toplevel(xdg_surface_);
  xdg_toplevel_add_listener(toplevel_, &kToplevelListener, this);
  xdg_toplevel_set_title(toplevel_, "slash");
  xdg_toplevel_set_app_id(toplevel_, "slash");
  // No output named: the compositor's choice, the one the user works on.
  xdg_toplevel_set_fullscreen(toplevel_, nullptr);
  // A commit without a buffer asks for the first configure.
  wl_surface_commit(surface_);
  connection_.MarkQueued();
  presenter_ = std::make_unique<PicturePresenter>(*globals.shm, *surface_, viewport_,
                                                  globals.compositor_version, Formats());
}

PicturePresenter::PictureFormats WaylandBackend::Formats() const {
  // RGB565 pictures where the compositor takes them: every effect colour is
  // exact in it, at half the memory. Set-up has made sure of one of the two.
  const WaylandGlobals& globals = connection_.globals();
  const bool rgb565 = globals.Takes(WL_SHM_FORMAT_RGB565);
  const bool xrgb = globals.Takes(WL_SHM_FORMAT_XRGB8888);
  return {rgb565 ? ShmFormat::kRgb565 : ShmFormat::kXrgb8888,
          xrgb ? ShmFormat::kXrgb8888 : ShmFormat::kRgb565};
}

void WaylandBackend::WaitForFirstConfigure() {
  while (!toplevel_state_.configured_once && !toplevel_state_.closed) {
    connection_.DispatchForSetup();
    SendReplies();
  }
  SendReplies();
  // Closed before it was ever configured: the run ends as a close does.
  if (size_.width == 0 && !toplevel_state_.closed) {
    connection_.FailSetup("the compositor names no output and no size for the window");
  }
}

bool WaylandBackend::Relayout() {
  const ScreenSize configured = toplevel_state_.configured;
  SizeFacts facts;
  facts.configured = configured;
  facts.output = connection_.outputs().Current(configured);
  facts.fractional_scale = toplevel_state_.fractional_scale;
  facts.viewporter = viewport_ != nullptr;
  facts.screen = connection_.outputs().Limit();
  // Before version 3 no buffer scale can be declared.
  const bool scalable = facts.viewporter || connection_.globals().compositor_version >= 3;
  if (!scalable && facts.output) facts.output->scale = 1;
  const std::optional<SurfaceLayout> layout = LayoutFor(facts);
  if (!layout || *layout == layout_) return false;
  // Refused before anything is made or drawn for it.
  const std::optional<std::string> refusal = PictureRefusal(
      layout->picture_width, layout->picture_height, BytesPerPixel(Formats().picture));
  if (refusal) {
    if (shown_ == nullptr) connection_.FailSetup(*refusal);
    ThrowDisplayLost("the Wayland compositor gave the window a size it cannot have: " + *refusal);
  }
  layout_ = *layout;
  size_ = ScreenSize{static_cast<std::int32_t>(layout_.picture_width),
                     static_cast<std::int32_t>(layout_.picture_height)};
  presenter_->Resize(layout_);
  if (shown_ != nullptr) reported_size_ = size_;
  return true;
}

void WaylandBackend::SendReplies() {
  connection_.SendOwnReplies();
  if (!connection_.SendQueued()) return;
  ToplevelState& state = toplevel_state_;
  const bool acknowledged = state.configure.has_value();
  if (acknowledged) {
    xdg_surface_ack_configure(xdg_surface_, *state.configure);
    if (state.proposed.width > 0 && state.proposed.height > 0) state.configured = state.proposed;
    state.configure.reset();
    connection_.MarkQueued();
  }
  const bool layout_changed = connection_.outputs().TakeChanged() || state.scale_changed;
  state.scale_changed = false;
  const bool resized = (acknowledged || layout_changed) && Relayout();
  if (shown_ != nullptr && (resized || present_waiting_)) {
    // Resized while shown: the window follows at once; the scene takes
    // the new size at its next tick.
    Present(*shown_);
  } else if (shown_ != nullptr && acknowledged) {
    // A compositor may hold its next frame until the acknowledged state is
    // committed: the same picture, committed again, completes it.
    wl_surface_commit(surface_);
  }
  connection_.SendQueued();
}

void WaylandBackend::Show(const EffectScene& scene) {
  shown_ = &scene;
  Present(scene);
  connection_.SendQueued();
  connection_.ThrowIfBroken();
}

void WaylandBackend::Present(const EffectScene& scene) {
  // Nothing is attached to a surface that was never configured.
  if (!toplevel_state_.configured_once) return;
  // Requests go out only once the socket has taken the ones before, so
  // that the library never finds its own queue full.
  if (!connection_.SendQueued()) {
    present_waiting_ = true;
    return;
  }
  // Every picture still the compositor's: the lines go up with the next
  // release.
  present_waiting_ = !presenter_->Present(SceneContent(scene, size_));
  if (!present_waiting_) {
    connection_.MarkQueued();
    connection_.SendQueued();
  }
}

bool WaylandBackend::WaitUntil(Clock::time_point due) {
  for (;;) {
    connection_.DispatchPending();
    if (toplevel_state_.closed) return false;
    SendReplies();
    if (Clock::now() >= due) return true;
    connection_.AwaitEvents(*timer_, due);
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenWaylandBackend() {
  return std::make_unique<WaylandBackend>();
}

}  // namespace slash
