#include "window/x11/x11_backend.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "runtime/runtime_error.h"
#include "window/effect_scene.h"
#include "window/effect_window.h"
#include "window/monotonic_time.h"
#include "window/x11/x11_screen.h"

namespace slash {
namespace {

constexpr char kName[] = "slash";
// WM_CLASS: the instance and class names, each ending in a NUL.
constexpr char kClass[] = "slash\0slash";

[[noreturn]] void ThrowLost() {
  throw RuntimeError::HostFailure("lost the connection to the display", kDisplayLostStatus);
}

std::string DisplayName() {
  const char* name = std::getenv("DISPLAY");
  return name != nullptr ? name : "";
}

// The atoms that no helper library interns for us.
struct ExtraAtoms {
  xcb_atom_t delete_window = XCB_NONE;
  xcb_atom_t motif_hints = XCB_NONE;
  xcb_atom_t bypass_compositor = XCB_NONE;
};

class X11Backend : public WindowBackend {
 public:
  X11Backend();
  ~X11Backend() override;
  X11Backend(const X11Backend&) = delete;
  X11Backend& operator=(const X11Backend&) = delete;

  PixelRect PrimaryMonitor() override { return primary_; }
  void Show(const EffectScene& scene) override;
  void DrawLine(const EffectScene& scene, std::size_t index) override;
  void Repaint(const EffectScene& scene) override;
  bool WaitUntil(Clock::time_point due) override;
  void Finish() override { xcb_flush(connection_); }

 private:
  void Release();
  void InternAtoms();
  void SetWindowManagerProperties(const PixelRect& rect);
  void DrawPlacedLine(const EffectScene& scene, const SlashLine& line);
  void DrawPlacedLines(const EffectScene& scene);
  // Handles every event xcb has read; false once the window is gone.
  bool HandleEvents();
  bool HandleEvent(const xcb_generic_event_t& event);
  void ArmTimer(Clock::time_point due);
  void CheckConnection() const {
    if (xcb_connection_has_error(connection_) != 0) ThrowLost();
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
  PixelFormat format_;
  PixelRect primary_;
  xcb_ewmh_connection_t ewmh_{};
  bool ewmh_ready_ = false;
  ExtraAtoms atoms_;
  xcb_window_t window_ = XCB_NONE;
  xcb_gcontext_t gc_ = XCB_NONE;
  EffectColor gc_color_ = kBlack;
  const EffectScene* shown_ = nullptr;
  bool closed_ = false;
  int timer_ = -1;
};

X11Backend::X11Backend() {
  int screen_number = 0;
  connection_ = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(connection_) != 0) {
    Release();
    throw RuntimeError::HostFailure("cannot open the X display \"" + DisplayName() + "\"",
                                    kNoDisplayStatus);
  }
  try {
    PrefetchRandr(*connection_);
    screen_ = &NumberedScreen(*connection_, screen_number);
    format_ = RootPixelFormat(*screen_);
    InternAtoms();
    primary_ = PrimaryMonitorOf(*connection_, *screen_);
    CheckConnection();
    timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (timer_ < 0) {
      throw RuntimeError::HostFailure(
          std::string("cannot create the tick timer: ") + std::strerror(errno), kNoDisplayStatus);
    }
  } catch (...) {
    // A constructor that throws runs no destructor.
    Release();
    throw;
  }
}

X11Backend::~X11Backend() {
  Release();
}

void X11Backend::Release() {
  if (timer_ >= 0) close(timer_);
  timer_ = -1;
  if (ewmh_ready_) xcb_ewmh_connection_wipe(&ewmh_);  // a failed set-up wipes itself
  ewmh_ready_ = false;
  // Closing the connection is all the clean-up there is: the server
  // destroys the window and the graphics context with it.
  if (connection_ != nullptr) xcb_disconnect(connection_);
  connection_ = nullptr;
}

void X11Backend::InternAtoms() {
  // All requests go out before the first reply is awaited: one round trip.
  xcb_intern_atom_cookie_t* ewmh_cookies = xcb_ewmh_init_atoms(connection_, &ewmh_);
  const auto intern = [this](const char* name) {
    return xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  };
  const xcb_intern_atom_cookie_t cookies[] = {intern("WM_DELETE_WINDOW"), intern("_MOTIF_WM_HINTS"),
                                              intern("_NET_WM_BYPASS_COMPOSITOR")};
  ewmh_ready_ = xcb_ewmh_init_atoms_replies(&ewmh_, ewmh_cookies, nullptr) != 0;
  xcb_atom_t* targets[] = {&atoms_.delete_window, &atoms_.motif_hints, &atoms_.bypass_compositor};
  for (std::size_t i = 0; i < std::size(cookies); ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookies[i], nullptr);
    if (reply != nullptr) *targets[i] = reply->atom;
    std::free(reply);
  }
  CheckConnection();
  if (!ewmh_ready_) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure, "cannot read the X server's atoms");
  }
}

void X11Backend::SetWindowManagerProperties(const PixelRect& rect) {
  // Full-screen on the monitor it is placed on, over panels and docks, and
  // listed in no task bar or pager.
  xcb_atom_t states[] = {ewmh_._NET_WM_STATE_FULLSCREEN, ewmh_._NET_WM_STATE_SKIP_TASKBAR,
                         ewmh_._NET_WM_STATE_SKIP_PAGER};
  xcb_ewmh_set_wm_state(&ewmh_, window_, std::size(states), states);
  xcb_ewmh_set_wm_name(&ewmh_, window_, sizeof kName - 1, kName);
  xcb_icccm_set_wm_name(connection_, window_, XCB_ATOM_STRING, 8, sizeof kName - 1, kName);
  xcb_icccm_set_wm_class(connection_, window_, sizeof kClass, kClass);
  xcb_ewmh_set_wm_pid(&ewmh_, window_, static_cast<std::uint32_t>(getpid()));
  char host[256] = "";
  if (gethostname(host, sizeof host - 1) == 0) {
    xcb_icccm_set_wm_client_machine(connection_, window_, XCB_ATOM_STRING, 8,
                                    static_cast<std::uint32_t>(std::strlen(host)), host);
  }
  xcb_icccm_set_wm_protocols(connection_, window_, ewmh_.WM_PROTOCOLS, 1, &atoms_.delete_window);
  // The position and size are the program's own, not for the manager to pick.
  xcb_size_hints_t size{};
  xcb_icccm_size_hints_set_position(&size, 1, rect.x, rect.y);
  xcb_icccm_size_hints_set_size(&size, 1, rect.width, rect.height);
  xcb_icccm_set_wm_normal_hints(connection_, window_, &size);
  // No decorations: flags = decorations given, decorations = none.
  const std::uint32_t motif[5] = {2, 0, 0, 0, 0};
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atoms_.motif_hints,
                      atoms_.motif_hints, 32, 5, motif);
  // A compositor may hand the screen to the window straight away.
  const std::uint32_t bypass = 1;
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atoms_.bypass_compositor,
                      XCB_ATOM_CARDINAL, 32, 1, &bypass);
}

void X11Backend::Show(const EffectScene& scene) {
  shown_ = &scene;
  const PixelRect rect = DesktopRect(primary_, scene);
  window_ = xcb_generate_id(connection_);
  // The background pixel is the first frame: the server paints it when the
  // window is mapped, so no other colour can ever show.
  const std::uint32_t window_values[] = {
      format_.Pixel(scene.background),
      XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY,
  };
  xcb_create_window(
      connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, static_cast<std::int16_t>(rect.x),
      static_cast<std::int16_t>(rect.y), static_cast<std::uint16_t>(std::max(1, rect.width)),
      static_cast<std::uint16_t>(std::max(1, rect.height)), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
      screen_->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, window_values);
  SetWindowManagerProperties(rect);
  // Zero-width lines whose cap style draws both end pixels.
  gc_ = xcb_generate_id(connection_);
  gc_color_ = kBlack;
  const std::uint32_t gc_values[] = {format_.Pixel(gc_color_), 0, XCB_CAP_STYLE_BUTT, 0};
  xcb_create_gc(
      connection_, gc_, window_,
      XCB_GC_FOREGROUND | XCB_GC_LINE_WIDTH | XCB_GC_CAP_STYLE | XCB_GC_GRAPHICS_EXPOSURES,
      gc_values);
  xcb_map_window(connection_, window_);
  xcb_flush(connection_);
  CheckConnection();
}

void X11Backend::DrawPlacedLine(const EffectScene& scene, const SlashLine& line) {
  if (!line.placed) return;
  if (line.color != gc_color_) {
    const std::uint32_t foreground = format_.Pixel(line.color);
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &foreground);
    gc_color_ = line.color;
  }
  const PixelLine pixels = LinePixels(scene, line, scene.width, scene.height);
  const xcb_point_t ends[] = {
      {static_cast<std::int16_t>(pixels.x1), static_cast<std::int16_t>(pixels.y1)},
      {static_cast<std::int16_t>(pixels.x2), static_cast<std::int16_t>(pixels.y2)}};
  xcb_poly_line(connection_, XCB_COORD_MODE_ORIGIN, window_, gc_, 2, ends);
}

void X11Backend::DrawLine(const EffectScene& scene, std::size_t index) {
  DrawPlacedLine(scene, scene.Lz[index]);
  xcb_flush(connection_);
}

void X11Backend::Repaint(const EffectScene& scene) {
  const std::uint32_t background = format_.Pixel(scene.background);
  xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &background);
  xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
  DrawPlacedLines(scene);
}

void X11Backend::DrawPlacedLines(const EffectScene& scene) {
  for (const SlashLine& line : scene.Lz) DrawPlacedLine(scene, line);
  xcb_flush(connection_);
}

bool X11Backend::HandleEvent(const xcb_generic_event_t& event) {
  switch (event.response_type & 0x7F) {
    case 0: {  // an error for a request sent without waiting for its reply
      const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
      // Our window destroyed by another client: the requests that name it
      // fail in turn. That ends the run like a close.
      const bool gone = error.error_code == XCB_WINDOW || error.error_code == XCB_DRAWABLE;
      if (gone && error.resource_id == window_) return false;
      char detail[96];
      std::snprintf(detail, sizeof detail, "X error %d on request %d",
                    static_cast<int>(error.error_code), static_cast<int>(error.major_code));
      throw RuntimeError(RuntimeErrorKind::kPropertyFailure, detail);
    }
    case XCB_EXPOSE:
      // The server has already painted the exposed part with the window's
      // background pixel; only the lines are ours to put back. Clearing the
      // window again would repaint the whole screen for nothing.
      if (reinterpret_cast<const xcb_expose_event_t&>(event).count == 0 && shown_ != nullptr) {
        DrawPlacedLines(*shown_);
      }
      return true;
    case XCB_DESTROY_NOTIFY:
      return reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window != window_;
    case XCB_CLIENT_MESSAGE: {
      const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
      return !(message.type == ewmh_.WM_PROTOCOLS && message.format == 32 &&
               message.data.data32[0] == atoms_.delete_window);
    }
    default:
      return true;
  }
}

bool X11Backend::HandleEvents() {
  while (xcb_generic_event_t* next = xcb_poll_for_event(connection_)) {
    const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(next, &std::free);
    if (!HandleEvent(*event)) closed_ = true;
  }
  CheckConnection();
  return !closed_;
}

void X11Backend::ArmTimer(Clock::time_point due) {
  itimerspec timer_value{};
  timer_value.it_value = MonotonicTimespec(due);
  // An all-zero value would disarm the timer instead of firing it.
  if (timer_value.it_value.tv_sec == 0 && timer_value.it_value.tv_nsec == 0) {
    timer_value.it_value.tv_nsec = 1;
  }
  timerfd_settime(timer_, TFD_TIMER_ABSTIME, &timer_value, nullptr);
}

bool X11Backend::WaitUntil(Clock::time_point due) {
  ArmTimer(due);
  for (;;) {
    if (!HandleEvents()) return false;
    if (xcb_flush(connection_) <= 0) ThrowLost();
    pollfd watched[] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {timer_, POLLIN, 0}};
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw RuntimeError::HostFailure(
          std::string("cannot wait for the display: ") + std::strerror(errno), kDisplayLostStatus);
    }
    if ((watched[1].revents & POLLIN) != 0) {
      std::uint64_t expirations = 0;
      (void)!read(timer_, &expirations, sizeof expirations);
      return HandleEvents();
    }
    // Readable or hung up: the next HandleEvents reads it or finds the error.
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenX11Backend() {
  return std::make_unique<X11Backend>();
}

}  // namespace slash
