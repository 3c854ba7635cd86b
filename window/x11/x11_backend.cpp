#include "window/x11/x11_backend.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "runtime/runtime_error.h"
#include "window/effect_scene.h"
#include "window/line_raster.h"
#include "window/linux/display_names.h"
#include "window/linux/display_wait.h"
#include "window/linux/setup_deadline.h"
#include "window/linux/tick_timer.h"
#include "window/scene_pixels.h"
#include "window/x11/x11_display.h"
#include "window/x11/x11_run_queue.h"
#include "window/x11/x11_window_manager.h"

namespace slash {
namespace {

// A window manager that is still starting can drop the map request. Until
// the window is seen mapped, the request is repeated this often, this many
// times at most.
constexpr std::chrono::milliseconds kMapRetryInterval{100};
constexpr int kMapRequestLimit = 50;

// Coordinates on the wire are 16-bit, so a window wider or taller than
// 32767 pixels has pixels no request can name.
constexpr int kAddressable = 32768;

bool Addressable(const PixelLine& line) {
  for (const int coordinate : {line.x1, line.y1, line.x2, line.y2}) {
    if (coordinate < -kAddressable || coordinate >= kAddressable) return false;
  }
  return true;
}

// On a screen of several monitors the manager makes the window full screen
// only after it maps it, and until then its panels stay above the window.
// There the window maps with no background, showing what was there, and is
// painted once nothing is above it, or after this long at most.
constexpr std::chrono::milliseconds kUncoveredWait{250};

// The map request and what follows it.
struct MapState {
  bool mapped = false;
  int requests = 0;
  std::chrono::steady_clock::time_point next_request;
  bool background_pending = false;  // mapped with no background, not yet painted
  std::chrono::steady_clock::time_point background_due;
  bool pending() const { return !mapped && requests < kMapRequestLimit; }
};

class X11Backend : public WindowBackend {
 public:
  X11Backend();

  PixelRect PrimaryMonitor() override { return display_->primary().rect; }
  void Show(const EffectScene& scene) override;
  void DrawLine(const EffectScene& scene, std::size_t index) override;
  void Repaint(const EffectScene& scene) override;
  bool WaitUntil(Clock::time_point due) override;
  std::optional<ScreenSize> ReportedSize() const override { return reported_size_; }
  void Finish() override { FlushIfWritable(); }

 private:
  void RequestMap();
  void DrawPlacedLine(const PlacedLine& line);
  void SetColor(EffectColor color);
  void SendQueuedRuns();
  bool SocketWritable() const;
  void DrawPlacedLines(const EffectScene& scene);
  // Handles every event xcb has read; false once the window is gone.
  bool HandleEvents();
  bool HandleEvent(const xcb_generic_event_t& event);
  // Requests go out only when the socket takes them without waiting, so a
  // stopped or grabbed server never holds up the ticks; what it has not
  // taken by the end goes with the process.
  void FlushIfWritable();
  void Flush();

  std::unique_ptr<X11Display> display_;
  xcb_connection_t* connection_ = nullptr;  // display_'s
  xcb_window_t window_ = XCB_NONE;
  xcb_gcontext_t gc_ = XCB_NONE;
  EffectColor gc_color_ = kBlack;
  X11RunQueue runs_;  // runs of lines past 32767 pixels, waiting for room
  const EffectScene* shown_ = nullptr;
  bool closed_ = false;
  std::unique_ptr<TickTimer> timer_;
  bool output_pending_ = false;
  MapState map_;
  xcb_timestamp_t server_time_ = XCB_CURRENT_TIME;  // from our own property changes
  std::optional<ScreenSize> reported_size_;
};

X11Backend::X11Backend() {
  // Everything up to here waits for the server's answers; a server that
  // never gives them ends the program instead of hanging it.
  const SetupDeadline deadline(kDisplaySetupLimit,
                               NoAnswerReport("X display \"" + X11DisplayName() + "\""),
                               kStatusNoDisplay);
  display_ = std::make_unique<X11Display>();
  connection_ = display_->connection();
  timer_ = std::make_unique<TickTimer>();
}

void X11Backend::Show(const EffectScene& scene) {
  shown_ = &scene;
  const WindowVisual& visual = display_->visual();
  const PixelRect rect = DesktopRect(display_->primary().rect, scene);
  window_ = xcb_generate_id(connection_);
  // The background pixel is the first frame: the server paints it when the
  // window is mapped, so no other colour can ever show. Our own property
  // changes come back with the server's time, which the requests for the
  // focus carry.
  const bool own_colormap = visual.colormap != XCB_NONE;
  map_.background_pending = display_->primary().index >= 0 && display_->manager_running();
  std::uint32_t values[5];
  std::uint32_t mask = (map_.background_pending ? XCB_CW_BACK_PIXMAP : XCB_CW_BACK_PIXEL) |
                       XCB_CW_EVENT_MASK | XCB_CW_CURSOR;
  std::size_t count = 0;
  values[count++] = map_.background_pending ? std::uint32_t{XCB_BACK_PIXMAP_NONE}
                                            : visual.format.Pixel(scene.background);
  if (own_colormap) {
    mask |= XCB_CW_BORDER_PIXEL | XCB_CW_COLORMAP;  // required with a visual of its own
    values[count++] = 0;
  }
  values[count++] = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_VISIBILITY_CHANGE;
  if (own_colormap) values[count++] = visual.colormap;
  const xcb_cursor_t cursor = InvisibleCursor(*display_);
  values[count++] = cursor;
  xcb_create_window(connection_, own_colormap ? visual.depth : XCB_COPY_FROM_PARENT, window_,
                    display_->screen().root, static_cast<std::int16_t>(rect.x),
                    static_cast<std::int16_t>(rect.y),
                    static_cast<std::uint16_t>(std::clamp(rect.width, 1, 65535)),
                    static_cast<std::uint16_t>(std::clamp(rect.height, 1, 65535)), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    own_colormap ? visual.visual : XCB_COPY_FROM_PARENT, mask, values);
  xcb_free_cursor(connection_, cursor);  // the window keeps it
  SetWindowManagerProperties(*display_, window_, rect);
  // Zero-width lines whose cap style draws both end pixels.
  gc_ = xcb_generate_id(connection_);
  gc_color_ = kBlack;
  const std::uint32_t gc_values[] = {visual.format.Pixel(gc_color_), 0, XCB_CAP_STYLE_BUTT, 0};
  xcb_create_gc(
      connection_, gc_, window_,
      XCB_GC_FOREGROUND | XCB_GC_LINE_WIDTH | XCB_GC_CAP_STYLE | XCB_GC_GRAPHICS_EXPOSURES,
      gc_values);
  RequestMap();
  FlushIfWritable();
  display_->ThrowIfBroken();
}

void X11Backend::RequestMap() {
  xcb_map_window(connection_, window_);
  output_pending_ = true;
  ++map_.requests;
  map_.next_request = Clock::now() + kMapRetryInterval;
}

void X11Backend::DrawPlacedLine(const PlacedLine& line) {
  const PixelLine& pixels = line.pixels;
  output_pending_ = true;
  if (!Addressable(pixels) || !runs_.empty()) {
    // An end past what a request can name (a monitor wider or taller than
    // 32767 pixels): the pixels the server would draw for the whole line,
    // where they can be named, as filled runs, after any still queued.
    runs_.Add(line.color, LineRuns(pixels, PixelRect{0, 0, kAddressable, kAddressable}));
    SendQueuedRuns();
    return;
  }
  SetColor(line.color);
  const xcb_point_t ends[] = {
      {static_cast<std::int16_t>(pixels.x1), static_cast<std::int16_t>(pixels.y1)},
      {static_cast<std::int16_t>(pixels.x2), static_cast<std::int16_t>(pixels.y2)}};
  xcb_poly_line(connection_, XCB_COORD_MODE_ORIGIN, window_, gc_, 2, ends);
}

void X11Backend::SetColor(EffectColor color) {
  if (color == gc_color_) return;
  const std::uint32_t foreground = display_->visual().format.Pixel(color);
  xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &foreground);
  gc_color_ = color;
}

void X11Backend::SendQueuedRuns() {
  runs_.Send([this] { return SocketWritable(); },
             [this](EffectColor color, const std::vector<xcb_rectangle_t>& rectangles) {
               SetColor(color);
               xcb_poly_fill_rectangle(connection_, window_, gc_,
                                       static_cast<std::uint32_t>(rectangles.size()),
                                       rectangles.data());
               Flush();
             });
  if (!runs_.empty()) output_pending_ = true;
}

void X11Backend::DrawLine(const EffectScene& scene, std::size_t index) {
  if (const auto line = PlacedLineAt(scene, index, scene.width, scene.height)) {
    DrawPlacedLine(*line);
  }
  FlushIfWritable();
}

void X11Backend::Repaint(const EffectScene& scene) {
  map_.background_pending = false;
  runs_.Clear();  // every placed line is drawn again below
  const std::uint32_t background = display_->visual().format.Pixel(scene.background);
  xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &background);
  xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
  output_pending_ = true;
  DrawPlacedLines(scene);
}

void X11Backend::DrawPlacedLines(const EffectScene& scene) {
  for (const PlacedLine& line : PlacedLines(scene, scene.width, scene.height)) {
    DrawPlacedLine(line);
  }
  FlushIfWritable();
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
    case XCB_PROPERTY_NOTIFY: {
      const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
      if (change.window == window_) server_time_ = change.time;
      return true;
    }
    case XCB_MAP_NOTIFY:
      if (reinterpret_cast<const xcb_map_notify_event_t&>(event).window == window_ &&
          !map_.mapped) {
        map_.mapped = true;
        map_.background_due = Clock::now() + kUncoveredWait;
        AskForFullScreenAndFocus(*display_, window_, server_time_);
        output_pending_ = true;
        FlushIfWritable();
      }
      return true;
    case XCB_CONFIGURE_NOTIFY: {
      const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
      if (configure.window == window_) {
        reported_size_ = ScreenSize{configure.width, configure.height};
      }
      return true;
    }
    case XCB_VISIBILITY_NOTIFY: {
      const auto& visibility = reinterpret_cast<const xcb_visibility_notify_event_t&>(event);
      if (visibility.window == window_ && map_.background_pending &&
          visibility.state == XCB_VISIBILITY_UNOBSCURED && shown_ != nullptr) {
        Repaint(*shown_);
      }
      return true;
    }
    case XCB_DESTROY_NOTIFY:
      return reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window != window_;
    case XCB_CLIENT_MESSAGE: {
      const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
      return !(message.type == display_->ewmh().WM_PROTOCOLS && message.format == 32 &&
               message.data.data32[0] == display_->atoms().delete_window);
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
  display_->ThrowIfBroken();
  return !closed_;
}

void X11Backend::Flush() {
  if (xcb_flush(connection_) <= 0) ThrowDisplayLost();
  output_pending_ = false;
}

bool X11Backend::SocketWritable() const {
  pollfd socket{xcb_get_file_descriptor(connection_), POLLOUT, 0};
  return poll(&socket, 1, 0) > 0 && (socket.revents & POLLOUT) != 0;
}

void X11Backend::FlushIfWritable() {
  if (!output_pending_) return;
  // xcb writes all it holds, waiting on the socket if it must; a writable
  // socket has room for far more than the few kilobytes it buffers, and
  // the runs of a long line are queued apart, a batch at a time.
  if (SocketWritable()) Flush();
  SendQueuedRuns();
}

bool X11Backend::WaitUntil(Clock::time_point due) {
  for (;;) {
    if (!HandleEvents()) return false;
    const Clock::time_point now = Clock::now();
    if (map_.pending() && now >= map_.next_request) RequestMap();
    if (map_.background_pending && map_.mapped && now >= map_.background_due) Repaint(*shown_);
    FlushIfWritable();
    if (now >= due) return true;
    Clock::time_point wake_at = map_.pending() ? std::min(due, map_.next_request) : due;
    if (map_.background_pending && map_.mapped) wake_at = std::min(wake_at, map_.background_due);
    const DisplayWake wake =
        WaitForDisplay(xcb_get_file_descriptor(connection_), output_pending_, *timer_, wake_at);
    if (wake.writable) {
      Flush();
      SendQueuedRuns();
    }
    // Readable or hung up: the next HandleEvents reads it or finds the error.
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenX11Backend() {
  return std::make_unique<X11Backend>();
}

}  // namespace slash
