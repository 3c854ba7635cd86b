// The Wayland back end: the window is a full-screen xdg-shell toplevel on
// the output the compositor chooses. Black and the flood are a 2x2 buffer
// of one colour stretched over the output by the viewporter (or, without
// it, a picture of the window's size); lines are drawn by our own
// rasterizer into full-size shared-memory pictures, one screen pixel to a
// picture pixel, of which the compositor shows one while we draw into
// another.
//
// Start here: events are read in one place (WaitUntil and the set-up's
// dispatch) and their handlers only record what they say; requests are
// made in one place (Act and Present), and only once the socket has taken
// everything sent before, so that a compositor that reads slowly is waited
// for instead of mistaken for a lost one.

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
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fractional-scale-v1-client-protocol.h"
#include "runtime/runtime_error.h"
#include "viewporter-client-protocol.h"
#include "window/effect_scene.h"
#include "window/line_raster.h"
#include "window/linux/display_names.h"
#include "window/linux/display_wait.h"
#include "window/linux/setup_deadline.h"
#include "window/linux/tick_timer.h"
#include "window/scene_pixels.h"
#include "window/wayland/shm_buffer.h"
#include "window/wayland/surface_layout.h"
#include "window/wayland/wayland_socket.h"
#include "xdg-shell-client-protocol.h"

namespace slash {
namespace {

// Pictures at most: one shown, one being drawn, one the compositor has
// not yet given back. A fourth would only be needed by a compositor that
// holds buffers for longer, and then the next line waits for a release.
constexpr std::size_t kPictureLimit = 3;

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

// A monitor as the compositor announces it.
struct Output {
  wl_output* output = nullptr;
  std::uint32_t name = 0;  // its registry name
  OutputFacts facts;
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
  ScreenSize size;
  EffectColor background = kBlack;
  std::array<std::optional<DrawnLine>, kLineCount> lines{};
  bool solid = true;  // no line: one colour shows it
};

PictureContent SceneContent(const EffectScene& scene, ScreenSize size) {
  PictureContent content;
  content.size = size;
  content.background = scene.background;
  for (std::size_t i = 0; i < kLineCount; ++i) {
    const SlashLine& line = scene.Lz[i];
    // A line of the background's colour shows nothing: after the flood the
    // screen is one colour again, and the one-colour buffer shows it.
    if (!line.placed || line.color == scene.background) continue;
    content.lines[i] = DrawnLine{LinePixels(scene, line, size.width, size.height), line.color};
    content.solid = false;
  }
  return content;
}

// A picture buffer and what it holds.
struct Picture {
  std::unique_ptr<ShmBuffer> buffer;
  PictureContent content;
};

// What events said that still asks for a request, gathered until the
// socket can take one.
struct PendingReplies {
  std::optional<std::uint32_t> ping;       // the latest ping's serial
  std::optional<std::uint32_t> configure;  // the latest configure's serial
  std::optional<std::uint32_t> pointer;    // a pointer entered: hide it
  bool seat_changed = false;               // the seat gained or lost its pointer
  bool layout_changed = false;             // a scale, an output or the surface's outputs changed
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
  void Finish() override { Flush(); }

 private:
  // Set-up, while the deadline is armed.
  void Connect();
  void Release();
  void BindGlobals();
  void CreateWindow();
  void WaitForFirstConfigure();
  [[noreturn]] void FailSetup(const std::string& why) const;

  // Sends what the events asked for, once the socket can take it.
  void Act();
  // Works out the pictures' size from what the compositor has said; true
  // when it changed. Refuses sizes no picture can have.
  bool Relayout();
  const Output* CurrentOutput() const;

  // Puts the scene up: the one-colour buffer when no line is placed, else a
  // picture brought up to date with it.
  void Present(const EffectScene& scene);
  void PresentSolid(EffectColor color);
  void PresentPicture(const PictureContent& next);
  ShmBuffer& SolidBuffer(EffectColor color);
  Picture* FreePicture();
  void Commit(ShmBuffer& buffer, const PictureContent& content, const PixelRect& damage);
  PixelRect Damage(const PictureContent& next) const;

  // The socket: whether it has taken every request sent so far, and the
  // one flush that never waits.
  bool Drained();
  void Flush();
  [[noreturn]] void ReportLost();
  void CheckConnection() const;
  void AwaitDisplay(Clock::time_point due);

  // Event handlers: each records what the event says.
  static const wl_registry_listener kRegistryListener;
  static const wl_output_listener kOutputListener;
  static const wl_shm_listener kShmListener;
  static const wl_seat_listener kSeatListener;
  static const wl_pointer_listener kPointerListener;
  static const wl_surface_listener kWlSurfaceListener;
  static const wp_fractional_scale_v1_listener kFractionalScaleListener;
  static const xdg_wm_base_listener kWmBaseListener;
  static const xdg_surface_listener kSurfaceListener;
  static const xdg_toplevel_listener kToplevelListener;
  void OnGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                std::uint32_t version);
  void OnGlobalRemove(std::uint32_t name);
  void OnOutputEvent() { replies_.layout_changed = true; }
  void OnSurfaceOutput(wl_output* output, bool entered);

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  std::uint32_t compositor_version_ = 0;
  wl_shm* shm_ = nullptr;
  bool shm_rgb565_ = false;  // the compositor takes 16-bit pictures
  xdg_wm_base* wm_base_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_fractional_scale_manager_v1* fractional_manager_ = nullptr;
  wl_seat* seat_ = nullptr;
  std::uint32_t seat_capabilities_ = 0;
  wl_pointer* pointer_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;

  wl_surface* surface_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractional_scale_ = nullptr;
  xdg_surface* xdg_surface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  std::unique_ptr<TickTimer> timer_;

  // What decides the pictures' size, as the compositor last said it.
  ScreenSize toplevel_size_;         // from the latest toplevel configure
  ScreenSize configured_;            // from the latest acknowledged one
  std::vector<wl_output*> entered_;  // the outputs the surface is on
  std::uint32_t fractional_ = 0;
  bool configured_once_ = false;
  SurfaceLayout layout_;
  ScreenSize size_;  // the pictures' size in pixels
  PixelFormat format_ = PixelFormat::kXrgb8888;
  std::optional<ScreenSize> reported_size_;

  PendingReplies replies_;
  const EffectScene* shown_ = nullptr;
  PictureContent on_screen_;
  bool anything_shown_ = false;
  std::map<EffectColor, std::unique_ptr<ShmBuffer>> solids_;  // made once a colour and size
  std::vector<Picture> pictures_;
  bool present_waiting_ = false;  // a picture the socket or the compositor held up
  bool output_pending_ = false;   // requests the socket has not taken yet
  bool closed_ = false;
};

const wl_registry_listener WaylandBackend::kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          static_cast<WaylandBackend*>(data)->OnGlobal(registry, name, interface, version);
        },
    .global_remove =
        [](void* data, wl_registry*, std::uint32_t name) {
          static_cast<WaylandBackend*>(data)->OnGlobalRemove(name);
        },
};

// The output's facts; the back end is told through the output's user data,
// which is the back end, and the output found by its proxy.
Output* FindOutput(const std::vector<std::unique_ptr<Output>>& outputs, wl_output* proxy) {
  for (const auto& output : outputs) {
    if (output->output == proxy) return output.get();
  }
  return nullptr;
}

const wl_output_listener WaylandBackend::kOutputListener = {
    .geometry =
        [](void* data, wl_output* proxy, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
          auto* self = static_cast<WaylandBackend*>(data);
          if (Output* output = FindOutput(self->outputs_, proxy)) {
            output->facts.transform = transform;
          }
          self->OnOutputEvent();
        },
    .mode =
        [](void* data, wl_output* proxy, std::uint32_t flags, std::int32_t width,
           std::int32_t height, std::int32_t) {
          auto* self = static_cast<WaylandBackend*>(data);
          Output* output = FindOutput(self->outputs_, proxy);
          if (output != nullptr && (flags & WL_OUTPUT_MODE_CURRENT) != 0) {
            output->facts.mode = ScreenSize{width, height};
          }
          self->OnOutputEvent();
        },
    .done = [](void* data, wl_output*) { static_cast<WaylandBackend*>(data)->OnOutputEvent(); },
    .scale =
        [](void* data, wl_output* proxy, std::int32_t factor) {
          auto* self = static_cast<WaylandBackend*>(data);
          if (Output* output = FindOutput(self->outputs_, proxy)) {
            output->facts.scale = std::max(1, factor);
          }
          self->OnOutputEvent();
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const wl_shm_listener WaylandBackend::kShmListener = {
    .format =
        [](void* data, wl_shm*, std::uint32_t format) {
          if (format == WL_SHM_FORMAT_RGB565)
            static_cast<WaylandBackend*>(data)->shm_rgb565_ = true;
        },
};

const wl_seat_listener WaylandBackend::kSeatListener = {
    .capabilities =
        [](void* data, wl_seat*, std::uint32_t capabilities) {
          auto* self = static_cast<WaylandBackend*>(data);
          self->seat_capabilities_ = capabilities;
          self->replies_.seat_changed = true;
        },
    .name = [](void*, wl_seat*, const char*) {},
};

const wl_pointer_listener WaylandBackend::kPointerListener = {
    .enter = [](void* data, wl_pointer*, std::uint32_t serial, wl_surface*, wl_fixed_t,
                wl_fixed_t) { static_cast<WaylandBackend*>(data)->replies_.pointer = serial; },
    .leave = [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},
    .motion = [](void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {},
    .button = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

const wl_surface_listener WaylandBackend::kWlSurfaceListener = {
    .enter =
        [](void* data, wl_surface*, wl_output* output) {
          static_cast<WaylandBackend*>(data)->OnSurfaceOutput(output, true);
        },
    .leave =
        [](void* data, wl_surface*, wl_output* output) {
          static_cast<WaylandBackend*>(data)->OnSurfaceOutput(output, false);
        },
};

const wp_fractional_scale_v1_listener WaylandBackend::kFractionalScaleListener = {
    .preferred_scale =
        [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
          auto* self = static_cast<WaylandBackend*>(data);
          self->fractional_ = scale;
          self->replies_.layout_changed = true;
        },
};

const xdg_wm_base_listener WaylandBackend::kWmBaseListener = {
    .ping =
        [](void* data, xdg_wm_base*, std::uint32_t serial) {
          static_cast<WaylandBackend*>(data)->replies_.ping = serial;
        },
};

const xdg_surface_listener WaylandBackend::kSurfaceListener = {
    .configure =
        [](void* data, xdg_surface*, std::uint32_t serial) {
          auto* self = static_cast<WaylandBackend*>(data);
          // Only the latest counts: a burst of them is answered once.
          self->replies_.configure = serial;
          self->configured_once_ = true;
        },
};

const xdg_toplevel_listener WaylandBackend::kToplevelListener = {
    .configure =
        [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
          static_cast<WaylandBackend*>(data)->toplevel_size_ = ScreenSize{width, height};
        },
    .close = [](void* data, xdg_toplevel*) { static_cast<WaylandBackend*>(data)->closed_ = true; },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

WaylandBackend::WaylandBackend() {
  // A compositor that accepts the connection and never answers would hold
  // the program in a blocking read: the set-up ends it instead.
  const SetupDeadline deadline(kDisplaySetupLimit,
                               NoAnswerReport("Wayland display \"" + WaylandDisplayName() + "\""),
                               kStatusNoDisplay);
  wl_log_set_handler_client(&KeepComplaint);
  try {
    Connect();
    BindGlobals();
    CreateWindow();
    WaitForFirstConfigure();
    timer_ = std::make_unique<TickTimer>();
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
  // Every object goes before the connection, so that nothing of the
  // library's is left allocated; the compositor drops the window with the
  // connection either way.
  solids_.clear();
  pictures_.clear();
  if (fractional_scale_ != nullptr) wp_fractional_scale_v1_destroy(fractional_scale_);
  if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
  if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
  if (xdg_surface_ != nullptr) xdg_surface_destroy(xdg_surface_);
  if (surface_ != nullptr) wl_surface_destroy(surface_);
  if (pointer_ != nullptr) wl_pointer_destroy(pointer_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  for (const auto& output : outputs_) wl_output_destroy(output->output);
  if (fractional_manager_ != nullptr) wp_fractional_scale_manager_v1_destroy(fractional_manager_);
  if (viewporter_ != nullptr) wp_viewporter_destroy(viewporter_);
  if (wm_base_ != nullptr) xdg_wm_base_destroy(wm_base_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  if (display_ != nullptr) wl_display_disconnect(display_);
  display_ = nullptr;
}

void WaylandBackend::Connect() {
  // The library's own reasons for a failed connection say little; these
  // say which socket is missing.
  const std::string path = WaylandSocketPath(WaylandDisplayName(), ProcessEnvironment);
  if (path.empty()) FailSetup("XDG_RUNTIME_DIR is not set");
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr)
    FailSetup(errno == ENOENT ? "there is no " + path : std::strerror(errno));
}

[[noreturn]] void WaylandBackend::FailSetup(const std::string& why) const {
  throw RuntimeError::HostFailure(
      "cannot open the Wayland display \"" + WaylandDisplayName() + "\": " + why, kStatusNoDisplay);
}

template <typename Proxy>
Proxy* Bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
            std::uint32_t version) {
  return static_cast<Proxy*>(wl_registry_bind(registry, name, &interface, version));
}

void WaylandBackend::OnGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                              std::uint32_t version) {
  const std::string which = interface;
  if (which == wl_compositor_interface.name && compositor_ == nullptr) {
    compositor_version_ = std::min(version, 4u);
    compositor_ = Bind<wl_compositor>(registry, name, wl_compositor_interface, compositor_version_);
  } else if (which == wl_shm_interface.name && shm_ == nullptr) {
    shm_ = Bind<wl_shm>(registry, name, wl_shm_interface, 1);
    wl_shm_add_listener(shm_, &kShmListener, this);
  } else if (which == xdg_wm_base_interface.name && wm_base_ == nullptr) {
    wm_base_ = Bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, 1);
    xdg_wm_base_add_listener(wm_base_, &kWmBaseListener, this);
  } else if (which == wp_viewporter_interface.name && viewporter_ == nullptr) {
    viewporter_ = Bind<wp_viewporter>(registry, name, wp_viewporter_interface, 1);
  } else if (which == wp_fractional_scale_manager_v1_interface.name &&
             fractional_manager_ == nullptr) {
    fractional_manager_ = Bind<wp_fractional_scale_manager_v1>(
        registry, name, wp_fractional_scale_manager_v1_interface, 1);
  } else if (which == wl_seat_interface.name && seat_ == nullptr) {
    // Version 1 is enough to hide the pointer, and its pointer sends the
    // fewest events.
    seat_ = Bind<wl_seat>(registry, name, wl_seat_interface, 1);
    wl_seat_add_listener(seat_, &kSeatListener, this);
  } else if (which == wl_output_interface.name) {
    auto output = std::make_unique<Output>();
    output->name = name;
    output->output = Bind<wl_output>(registry, name, wl_output_interface, std::min(version, 4u));
    wl_output_add_listener(output->output, &kOutputListener, this);
    outputs_.push_back(std::move(output));
  }
}

void WaylandBackend::OnGlobalRemove(std::uint32_t name) {
  const auto gone = std::find_if(outputs_.begin(), outputs_.end(),
                                 [name](const auto& output) { return output->name == name; });
  if (gone == outputs_.end()) return;
  std::erase(entered_, (*gone)->output);
  wl_output_destroy((*gone)->output);
  outputs_.erase(gone);
  replies_.layout_changed = true;
}

void WaylandBackend::OnSurfaceOutput(wl_output* output, bool entered) {
  std::erase(entered_, output);
  if (entered) entered_.push_back(output);
  replies_.layout_changed = true;
}

void WaylandBackend::BindGlobals() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The first round trip lists the globals, the second the outputs' modes
  // and the formats.
  for (int trip = 0; trip < 2; ++trip) {
    if (wl_display_roundtrip(display_) < 0) {
      FailSetup(LibraryComplaint().empty() ? std::strerror(wl_display_get_error(display_))
                                           : LibraryComplaint());
    }
  }
  const std::pair<const void*, const char*> required[] = {
      {compositor_, "wl_compositor"}, {shm_, "wl_shm"}, {wm_base_, "xdg_wm_base"}};
  for (const auto& [global, name] : required) {
    if (global == nullptr) FailSetup(std::string("the compositor offers no ") + name);
  }
  format_ = shm_rgb565_ ? PixelFormat::kRgb565 : PixelFormat::kXrgb8888;
}

void WaylandBackend::CreateWindow() {
  surface_ = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(surface_, &kWlSurfaceListener, this);
  if (viewporter_ != nullptr) viewport_ = wp_viewporter_get_viewport(viewporter_, surface_);
  if (viewport_ != nullptr && fractional_manager_ != nullptr) {
    fractional_scale_ =
        wp_fractional_scale_manager_v1_get_fractional_scale(fractional_manager_, surface_);
    wp_fractional_scale_v1_add_listener(fractional_scale_, &kFractionalScaleListener, this);
  }
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
  output_pending_ = true;
}

void WaylandBackend::WaitForFirstConfigure() {
  while (!configured_once_ && !closed_) {
    if (wl_display_dispatch(display_) < 0) {
      FailSetup(LibraryComplaint().empty() ? std::strerror(wl_display_get_error(display_))
                                           : LibraryComplaint());
    }
    Act();
  }
  Act();
  if (size_.width == 0) FailSetup("the compositor names no output and no size for the window");
}

const Output* WaylandBackend::CurrentOutput() const {
  // On several outputs at once, the sharpest one decides.
  const Output* current = nullptr;
  for (wl_output* proxy : entered_) {
    const Output* output = FindOutput(outputs_, proxy);
    if (output != nullptr && (current == nullptr || output->facts.scale > current->facts.scale)) {
      current = output;
    }
  }
  if (current != nullptr) return current;
  // Until the window is shown the compositor does not say which output it
  // is on: the output the size fits stands in, else the first with a mode,
  // else the first, and an enter event corrects it.
  for (const auto& output : outputs_) {
    const OutputFacts& facts = output->facts;
    const std::int32_t scale = std::max(1, facts.scale);
    if (configured_.width > 0 && facts.mode.width / scale == configured_.width &&
        facts.mode.height / scale == configured_.height) {
      return output.get();
    }
  }
  for (const auto& output : outputs_) {
    if (output->facts.mode.width > 0 && output->facts.mode.height > 0) return output.get();
  }
  return outputs_.empty() ? nullptr : outputs_.front().get();
}

bool WaylandBackend::Relayout() {
  SizeFacts facts;
  facts.configured = configured_;
  if (const Output* output = CurrentOutput()) facts.output = output->facts;
  facts.fractional_scale = fractional_;
  facts.viewporter = viewport_ != nullptr;
  if (!facts.viewporter && compositor_version_ < 3 && facts.output) facts.output->scale = 1;
  const std::optional<SurfaceLayout> layout = LayoutFor(facts);
  if (!layout || *layout == layout_) return false;
  // Refused before anything is made or drawn for it.
  const std::string refusal =
      PictureRefusal(layout->picture_width, layout->picture_height, BytesPerPixel(format_));
  if (!refusal.empty()) {
    if (shown_ == nullptr) FailSetup(refusal);
    ThrowDisplayLost("the Wayland compositor gave the window a size it cannot have: " + refusal);
  }
  layout_ = *layout;
  size_ = ScreenSize{static_cast<std::int32_t>(layout_.picture_width),
                     static_cast<std::int32_t>(layout_.picture_height)};
  if (shown_ != nullptr) reported_size_ = size_;
  return true;
}

void WaylandBackend::Act() {
  if (!Drained()) return;
  if (replies_.ping) xdg_wm_base_pong(wm_base_, *replies_.ping);
  if (replies_.seat_changed) {
    const bool has_pointer = (seat_capabilities_ & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (has_pointer && pointer_ == nullptr) {
      pointer_ = wl_seat_get_pointer(seat_);
      wl_pointer_add_listener(pointer_, &kPointerListener, this);
    } else if (!has_pointer && pointer_ != nullptr) {
      wl_pointer_destroy(pointer_);
      pointer_ = nullptr;
    }
  }
  // A screen effect shows no pointer.
  if (replies_.pointer && pointer_ != nullptr) {
    wl_pointer_set_cursor(pointer_, *replies_.pointer, nullptr, 0, 0);
  }
  const bool acknowledged = replies_.configure.has_value();
  if (acknowledged) {
    xdg_surface_ack_configure(xdg_surface_, *replies_.configure);
    if (toplevel_size_.width > 0 && toplevel_size_.height > 0) configured_ = toplevel_size_;
  }
  const bool resized = (acknowledged || replies_.layout_changed) && Relayout();
  const bool sent = replies_.ping || replies_.seat_changed || replies_.pointer || acknowledged;
  replies_ = PendingReplies{};
  if (shown_ != nullptr && (resized || present_waiting_)) {
    // Resized while shown: the window follows at once; the scene takes
    // the new size at its next tick.
    if (resized) anything_shown_ = false;
    Present(*shown_);
  } else if (shown_ != nullptr && acknowledged) {
    // A compositor may hold its next frame until the acknowledged state is
    // committed: the same picture, committed again, completes it.
    wl_surface_commit(surface_);
    output_pending_ = true;
  } else if (sent) {
    output_pending_ = true;
  }
  Flush();
}

void WaylandBackend::Show(const EffectScene& scene) {
  shown_ = &scene;
  Present(scene);
  Flush();
  CheckConnection();
}

void WaylandBackend::Present(const EffectScene& scene) {
  // Requests go out only once the socket has taken the ones before, so
  // that the library never finds its own queue full.
  if (!Drained()) {
    present_waiting_ = true;
    return;
  }
  const PictureContent next = SceneContent(scene, size_);
  if (next.solid) {
    PresentSolid(scene.background);
  } else {
    PresentPicture(next);
  }
}

ShmBuffer& WaylandBackend::SolidBuffer(EffectColor color) {
  // A 2x2 buffer whose top-left pixel is stretched keeps every output row
  // exact where a 1x1 buffer can leave the filtered edge short. Without
  // the viewporter, a picture of the window's size.
  const ScreenSize size = viewport_ != nullptr ? ScreenSize{2, 2} : size_;
  const PixelFormat format = viewport_ != nullptr ? PixelFormat::kXrgb8888 : format_;
  std::unique_ptr<ShmBuffer>& solid = solids_[color];
  if (solid && !(solid->size() == size) && !solid->busy()) solid.reset();
  if (!solid) {
    solid = std::make_unique<ShmBuffer>(*shm_, size, format);
    solid->Fill(color);
  }
  return *solid;
}

void WaylandBackend::PresentSolid(EffectColor color) {
  present_waiting_ = false;
  if (anything_shown_ && on_screen_.solid && on_screen_.background == color &&
      on_screen_.size == size_) {
    return;
  }
  // Only the latest colour's buffer is kept while the compositor no
  // longer holds the others.
  std::erase_if(solids_, [color](const auto& entry) {
    return entry.first != color && !entry.second->busy();
  });
  ShmBuffer& buffer = SolidBuffer(color);
  if (viewport_ != nullptr) {
    wp_viewport_set_source(viewport_, 0, 0, wl_fixed_from_int(1), wl_fixed_from_int(1));
  }
  PictureContent content;
  content.size = size_;
  content.background = color;
  Commit(buffer, content, PixelRect{0, 0, buffer.size().width, buffer.size().height});
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
  pictures_.push_back(
      Picture{std::make_unique<ShmBuffer>(*shm_, size_, format_), PictureContent{}});
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
  if (redraw) picture->buffer->Fill(next.background);
  for (std::size_t i = 0; i < kLineCount; ++i) {
    if (!next.lines[i] || (!redraw && held.lines[i])) continue;
    picture->buffer->FillRuns(LineRuns(next.lines[i]->pixels, whole), next.lines[i]->color);
  }
  held = next;
  if (viewport_ != nullptr) {
    wp_viewport_set_source(viewport_, wl_fixed_from_int(-1), wl_fixed_from_int(-1),
                           wl_fixed_from_int(-1), wl_fixed_from_int(-1));
  }
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
  const auto width = static_cast<std::int32_t>(layout_.logical_width);
  const auto height = static_cast<std::int32_t>(layout_.logical_height);
  if (viewport_ != nullptr) {
    wp_viewport_set_destination(viewport_, width, height);
  } else if (compositor_version_ >= 3) {
    wl_surface_set_buffer_scale(surface_, layout_.buffer_scale);
  }
  wl_surface_attach(surface_, buffer.buffer(), 0, 0);
  if (compositor_version_ >= 4) {
    wl_surface_damage_buffer(surface_, damage.x, damage.y, damage.width, damage.height);
  } else {
    wl_surface_damage(surface_, 0, 0, width, height);
  }
  wl_surface_commit(surface_);
  buffer.MarkBusy();
  on_screen_ = content;
  anything_shown_ = true;
  output_pending_ = true;
  Flush();
}

bool WaylandBackend::Drained() {
  Flush();
  return !output_pending_;
}

void WaylandBackend::Flush() {
  if (!output_pending_) return;
  // Never waits: a compositor that stops reading leaves the rest queued,
  // and the wait sends it once the socket takes it.
  if (wl_display_flush(display_) >= 0) {
    output_pending_ = false;
  } else if (errno != EAGAIN) {
    ReportLost();
  }
}

[[noreturn]] void WaylandBackend::ReportLost() {
  // A compositor that ends the connection over a protocol error sends the
  // error first: it may still be unread on the socket, and it is the
  // better reason.
  if (wl_display_get_error(display_) == 0) {
    if (wl_display_prepare_read(display_) == 0) {
      if (wl_display_read_events(display_) == 0) wl_display_dispatch_pending(display_);
    } else {
      wl_display_dispatch_pending(display_);
    }
  }
  CheckConnection();
  ThrowDisplayLost("lost the connection to the display");
}

void WaylandBackend::CheckConnection() const {
  const int error = wl_display_get_error(display_);
  if (error == 0) return;
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    // The library logged the compositor's own words as "object: error N: words".
    const std::string& complaint = LibraryComplaint();
    const std::string marker = "error " + std::to_string(code) + ": ";
    const std::size_t words = complaint.find(marker);
    ThrowDisplayLost(
        "the Wayland compositor ended the connection: protocol error " + std::to_string(code) +
        " on " + (interface != nullptr ? interface->name : "unknown") +
        (words == std::string::npos ? "" : ": " + complaint.substr(words + marker.size())));
  }
  ThrowDisplayLost("lost the connection to the display");
}

void WaylandBackend::AwaitDisplay(Clock::time_point due) {
  while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
  DisplayWake wake;
  try {
    wake = WaitForDisplay(wl_display_get_fd(display_), output_pending_, *timer_, due);
  } catch (...) {
    wl_display_cancel_read(display_);
    throw;
  }
  if (wake.readable) {
    if (wl_display_read_events(display_) < 0) CheckConnection();
  } else {
    wl_display_cancel_read(display_);
  }
  if (wake.writable) Flush();
}

bool WaylandBackend::WaitUntil(Clock::time_point due) {
  for (;;) {
    if (wl_display_dispatch_pending(display_) < 0) CheckConnection();
    CheckConnection();
    if (closed_) return false;
    Act();
    if (Clock::now() >= due) return true;
    AwaitDisplay(due);
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenWaylandBackend() {
  return std::make_unique<WaylandBackend>();
}

}  // namespace slash
