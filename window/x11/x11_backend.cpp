#include "window/x11/x11_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "window/x11/x11_screen.h"

namespace slash {
namespace {

constexpr char kName[] = "slash";
// WM_CLASS: the instance and class names, each ending in a NUL.
constexpr char kClass[] = "slash\0slash";

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

// Opens the connection. When the server refuses it, xcb writes the server's
// reason straight to descriptor 2; it is caught there instead, so that the
// refusal is reported in one line, with the reason in it.
xcb_connection_t* ConnectCatchingReason(int& screen_number, std::string& reason) {
  const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  const int catcher = memfd_create("slash-x-refusal", MFD_CLOEXEC);
  const bool catching = saved >= 0 && catcher >= 0 && dup2(catcher, STDERR_FILENO) >= 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen_number);
  if (catching) {
    dup2(saved, STDERR_FILENO);
    char text[512];
    const ssize_t length = pread(catcher, text, sizeof text, 0);
    if (length > 0) reason.assign(text, static_cast<std::size_t>(length));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  }
  if (saved >= 0) close(saved);
  if (catcher >= 0) close(catcher);
  return connection;
}

// The atoms that no helper library interns for us.
struct ExtraAtoms {
  xcb_atom_t delete_window = XCB_NONE;
  xcb_atom_t motif_hints = XCB_NONE;
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
  std::optional<ScreenSize> ReportedSize() const override { return reported_size_; }
  void Finish() override { FlushIfWritable(); }

 private:
  void Connect();
  void Release();
  void InternAtoms();
  void SetWindowManagerProperties(const PixelRect& rect);
  xcb_cursor_t InvisibleCursor();
  void RequestMap();
  void AskForFullScreenAndFocus();
  void DrawPlacedLine(const EffectScene& scene, const SlashLine& line);
  void FillRuns(const std::vector<PixelRun>& runs);
  void DrawPlacedLines(const EffectScene& scene);
  // Handles every event xcb has read; false once the window is gone.
  bool HandleEvents();
  bool HandleEvent(const xcb_generic_event_t& event);
  // Requests go out only when the socket takes them without waiting, so a
  // stopped or grabbed server never holds up the ticks; what it has not
  // taken by the end goes with the process.
  void FlushIfWritable();
  void Flush();
  bool MapPending() const { return !mapped_ && map_requests_ < kMapRequestLimit; }
  void CheckConnection() const {
    if (xcb_connection_has_error(connection_) != 0) ThrowDisplayLost();
  }

  xcb_connection_t* connection_ = nullptr;
  int screen_number_ = 0;
  xcb_screen_t* screen_ = nullptr;
  WindowVisual visual_;
  PixelRect primary_;
  int primary_index_ = -1;  // the primary's number among several monitors
  xcb_ewmh_connection_t ewmh_{};
  bool ewmh_ready_ = false;
  ExtraAtoms atoms_;
  xcb_window_t window_ = XCB_NONE;
  xcb_gcontext_t gc_ = XCB_NONE;
  EffectColor gc_color_ = kBlack;
  const EffectScene* shown_ = nullptr;
  bool closed_ = false;
  std::unique_ptr<TickTimer> timer_;
  bool output_pending_ = false;
  // The map request and what follows it.
  bool mapped_ = false;
  int map_requests_ = 0;
  Clock::time_point next_map_request_;
  xcb_timestamp_t server_time_ = XCB_CURRENT_TIME;  // from our own property changes
  std::optional<ScreenSize> reported_size_;
};

X11Backend::X11Backend() {
  // Everything up to here waits for the server's answers; a server that
  // never gives them ends the program instead of hanging it.
  const SetupDeadline deadline(
      kDisplaySetupLimit, NoAnswerReport("X display \"" + X11DisplayName() + "\""), kStatusNoDisplay);
  Connect();
  try {
    PrefetchRandr(*connection_);
    screen_ = &NumberedScreen(*connection_, screen_number_);
    visual_ = ChooseWindowVisual(*connection_, *screen_);
    InternAtoms();
    primary_ = PrimaryMonitorOf(*connection_, *screen_, &primary_index_);
    CheckConnection();
    timer_ = std::make_unique<TickTimer>();
  } catch (...) {
    // A constructor that throws runs no destructor.
    Release();
    throw;
  }
}

X11Backend::~X11Backend() {
  Release();
}

void X11Backend::Connect() {
  std::string reason;
  connection_ = ConnectCatchingReason(screen_number_, reason);
  if (xcb_connection_has_error(connection_) == 0) return;
  Release();
  std::string report = "cannot open the X display \"" + X11DisplayName() + "\"";
  if (!reason.empty()) report += ": " + reason;
  throw RuntimeError::HostFailure(report, kStatusNoDisplay);
}

void X11Backend::Release() {
  timer_.reset();
  if (ewmh_ready_) xcb_ewmh_connection_wipe(&ewmh_);  // a failed set-up wipes itself
  ewmh_ready_ = false;
  // Closing the connection is all the clean-up there is: the server
  // destroys the window, its colour map and the graphics context with it.
  // Nothing is flushed here, so a stalled server cannot hold the end up.
  if (connection_ != nullptr) xcb_disconnect(connection_);
  connection_ = nullptr;
}

void X11Backend::InternAtoms() {
  // All requests go out before the first reply is awaited: one round trip.
  xcb_intern_atom_cookie_t* ewmh_cookies = xcb_ewmh_init_atoms(connection_, &ewmh_);
  const auto intern = [this](const char* name) {
    return xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  };
  const xcb_intern_atom_cookie_t cookies[] = {intern("WM_DELETE_WINDOW"),
                                              intern("_MOTIF_WM_HINTS")};
  ewmh_ready_ = xcb_ewmh_init_atoms_replies(&ewmh_, ewmh_cookies, nullptr) != 0;
  xcb_atom_t* targets[] = {&atoms_.delete_window, &atoms_.motif_hints};
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
  // listed in no task bar or pager. A manager reads these when it maps the
  // window; some replace them, so they are asked for again once it is mapped.
  //
  // With several monitors, some managers put a window that maps full
  // screen on whichever monitor they like: there the window maps at the
  // primary's place, names the primary as the monitor to fill, and asks
  // for full screen once mapped.
  const bool monitors = primary_index_ >= 0;
  xcb_atom_t states[] = {ewmh_._NET_WM_STATE_ABOVE, ewmh_._NET_WM_STATE_SKIP_TASKBAR,
                         ewmh_._NET_WM_STATE_SKIP_PAGER, ewmh_._NET_WM_STATE_FULLSCREEN};
  xcb_ewmh_set_wm_state(&ewmh_, window_, std::size(states) - (monitors ? 1 : 0), states);
  if (monitors) {
    const auto i = static_cast<std::uint32_t>(primary_index_);
    xcb_ewmh_set_wm_fullscreen_monitors(&ewmh_, window_, i, i, i, i);
  }
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
  // The window takes the keyboard focus when the manager gives it, so that
  // it becomes the active window, shown in front of panels.
  xcb_icccm_wm_hints_t hints{};
  xcb_icccm_wm_hints_set_input(&hints, 1);
  xcb_icccm_wm_hints_set_normal(&hints);
  xcb_icccm_set_wm_hints(connection_, window_, &hints);
  // The position and size are the program's own, not for the manager to pick.
  xcb_size_hints_t size{};
  xcb_icccm_size_hints_set_position(&size, 1, rect.x, rect.y);
  xcb_icccm_size_hints_set_size(&size, 1, rect.width, rect.height);
  xcb_icccm_set_wm_normal_hints(connection_, window_, &size);
  // No decorations: flags = decorations given, decorations = none.
  const std::uint32_t motif[5] = {2, 0, 0, 0, 0};
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atoms_.motif_hints,
                      atoms_.motif_hints, 32, 5, motif);
  // No request to bypass the compositor: kwin tears its compositor down
  // for such a window and, when the window goes, shows the bare root for up
  // to a second before the desktop comes back.
}

void X11Backend::Show(const EffectScene& scene) {
  shown_ = &scene;
  const PixelRect rect = DesktopRect(primary_, scene);
  window_ = xcb_generate_id(connection_);
  // The background pixel is the first frame: the server paints it when the
  // window is mapped, so no other colour can ever show. Our own property
  // changes come back with the server's time, which the requests for the
  // focus carry.
  const bool own_colormap = visual_.colormap != XCB_NONE;
  std::uint32_t values[5];
  std::uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_CURSOR;
  std::size_t count = 0;
  values[count++] = visual_.format.Pixel(scene.background);
  if (own_colormap) {
    mask |= XCB_CW_BORDER_PIXEL | XCB_CW_COLORMAP;  // required with a visual of its own
    values[count++] = 0;
  }
  values[count++] =
      XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
  if (own_colormap) values[count++] = visual_.colormap;
  const xcb_cursor_t cursor = InvisibleCursor();
  values[count++] = cursor;
  xcb_create_window(connection_, own_colormap ? visual_.depth : XCB_COPY_FROM_PARENT, window_,
                    screen_->root, static_cast<std::int16_t>(rect.x),
                    static_cast<std::int16_t>(rect.y),
                    static_cast<std::uint16_t>(std::clamp(rect.width, 1, 65535)),
                    static_cast<std::uint16_t>(std::clamp(rect.height, 1, 65535)), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    own_colormap ? visual_.visual : XCB_COPY_FROM_PARENT, mask, values);
  xcb_free_cursor(connection_, cursor);  // the window keeps it
  SetWindowManagerProperties(rect);
  // Zero-width lines whose cap style draws both end pixels.
  gc_ = xcb_generate_id(connection_);
  gc_color_ = kBlack;
  const std::uint32_t gc_values[] = {visual_.format.Pixel(gc_color_), 0, XCB_CAP_STYLE_BUTT, 0};
  xcb_create_gc(
      connection_, gc_, window_,
      XCB_GC_FOREGROUND | XCB_GC_LINE_WIDTH | XCB_GC_CAP_STYLE | XCB_GC_GRAPHICS_EXPOSURES,
      gc_values);
  RequestMap();
  FlushIfWritable();
  CheckConnection();
}

xcb_cursor_t X11Backend::InvisibleCursor() {
  // A screen effect shows no pointer: a cursor whose mask is empty. A new
  // pixmap's contents are undefined, so it is cleared first.
  const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
  xcb_create_pixmap(connection_, 1, pixmap, screen_->root, 1, 1);
  const xcb_gcontext_t clear = xcb_generate_id(connection_);
  const std::uint32_t zero = 0;
  xcb_create_gc(connection_, clear, pixmap, XCB_GC_FOREGROUND, &zero);
  const xcb_rectangle_t whole{0, 0, 1, 1};
  xcb_poly_fill_rectangle(connection_, pixmap, clear, 1, &whole);
  const xcb_cursor_t cursor = xcb_generate_id(connection_);
  xcb_create_cursor(connection_, cursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
  xcb_free_gc(connection_, clear);
  xcb_free_pixmap(connection_, pixmap);
  return cursor;
}

void X11Backend::RequestMap() {
  xcb_map_window(connection_, window_);
  output_pending_ = true;
  ++map_requests_;
  next_map_request_ = Clock::now() + kMapRetryInterval;
}

void X11Backend::AskForFullScreenAndFocus() {
  // The protocol for a window that is already mapped: client messages to
  // the root. A manager that replaced the state it was mapped with (with
  // maximised states, say) makes it full-screen now; the activation makes it
  // the active window, which managers keep in front of panels.
  if (primary_index_ >= 0) {
    const auto i = static_cast<std::uint32_t>(primary_index_);
    xcb_ewmh_request_change_wm_fullscreen_monitors(&ewmh_, screen_number_, window_, i, i, i, i,
                                                   XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
  }
  xcb_ewmh_request_change_wm_state(&ewmh_, screen_number_, window_, XCB_EWMH_WM_STATE_ADD,
                                   ewmh_._NET_WM_STATE_FULLSCREEN, ewmh_._NET_WM_STATE_ABOVE,
                                   XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
  xcb_ewmh_set_wm_user_time(&ewmh_, window_, server_time_);
  xcb_ewmh_request_change_active_window(&ewmh_, screen_number_, window_,
                                        XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL, server_time_, XCB_NONE);
  output_pending_ = true;
  FlushIfWritable();
}

void X11Backend::DrawPlacedLine(const EffectScene& scene, const SlashLine& line) {
  if (!line.placed) return;
  if (line.color != gc_color_) {
    const std::uint32_t foreground = visual_.format.Pixel(line.color);
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &foreground);
    gc_color_ = line.color;
  }
  const PixelLine pixels = LinePixels(scene, line, scene.width, scene.height);
  output_pending_ = true;
  if (!Addressable(pixels)) {
    // An end past what a request can name (a monitor wider or taller than
    // 32767 pixels): the pixels the server would draw for the whole line,
    // where they can be named, as filled runs.
    FillRuns(LineRuns(pixels, PixelRect{0, 0, kAddressable, kAddressable}));
    return;
  }
  const xcb_point_t ends[] = {
      {static_cast<std::int16_t>(pixels.x1), static_cast<std::int16_t>(pixels.y1)},
      {static_cast<std::int16_t>(pixels.x2), static_cast<std::int16_t>(pixels.y2)}};
  xcb_poly_line(connection_, XCB_COORD_MODE_ORIGIN, window_, gc_, 2, ends);
}

void X11Backend::FillRuns(const std::vector<PixelRun>& runs) {
  std::vector<xcb_rectangle_t> rectangles;
  rectangles.reserve(runs.size());
  for (const PixelRun& run : runs) {
    const auto length = static_cast<std::uint16_t>(run.length);
    rectangles.push_back({static_cast<std::int16_t>(run.x), static_cast<std::int16_t>(run.y),
                          run.horizontal ? length : std::uint16_t{1},
                          run.horizontal ? std::uint16_t{1} : length});
  }
  // Requests of a few thousand rectangles each stay within any server's
  // request length.
  constexpr std::size_t kPerRequest = 4096;
  for (std::size_t at = 0; at < rectangles.size(); at += kPerRequest) {
    const auto count = static_cast<std::uint32_t>(std::min(kPerRequest, rectangles.size() - at));
    xcb_poly_fill_rectangle(connection_, window_, gc_, count, rectangles.data() + at);
  }
}

void X11Backend::DrawLine(const EffectScene& scene, std::size_t index) {
  DrawPlacedLine(scene, scene.Lz[index]);
  FlushIfWritable();
}

void X11Backend::Repaint(const EffectScene& scene) {
  const std::uint32_t background = visual_.format.Pixel(scene.background);
  xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &background);
  xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
  output_pending_ = true;
  DrawPlacedLines(scene);
}

void X11Backend::DrawPlacedLines(const EffectScene& scene) {
  for (const SlashLine& line : scene.Lz) DrawPlacedLine(scene, line);
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
      if (reinterpret_cast<const xcb_map_notify_event_t&>(event).window == window_ && !mapped_) {
        mapped_ = true;
        AskForFullScreenAndFocus();
      }
      return true;
    case XCB_CONFIGURE_NOTIFY: {
      const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
      if (configure.window == window_) {
        reported_size_ = ScreenSize{configure.width, configure.height};
      }
      return true;
    }
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

void X11Backend::Flush() {
  if (xcb_flush(connection_) <= 0) ThrowDisplayLost();
  output_pending_ = false;
}

void X11Backend::FlushIfWritable() {
  if (!output_pending_) return;
  pollfd socket{xcb_get_file_descriptor(connection_), POLLOUT, 0};
  // A writable socket has room for far more than the few kilobytes a run
  // ever queues, so the flush cannot block.
  if (poll(&socket, 1, 0) > 0 && (socket.revents & POLLOUT) != 0) Flush();
}

bool X11Backend::WaitUntil(Clock::time_point due) {
  for (;;) {
    if (!HandleEvents()) return false;
    const Clock::time_point now = Clock::now();
    if (MapPending() && now >= next_map_request_) RequestMap();
    FlushIfWritable();
    if (now >= due) return true;
    const DisplayWake wake =
        WaitForDisplay(xcb_get_file_descriptor(connection_), output_pending_, *timer_,
                       MapPending() ? std::min(due, next_map_request_) : due);
    if (wake.writable) Flush();
    // Readable or hung up: the next HandleEvents reads it or finds the error.
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenX11Backend() {
  return std::make_unique<X11Backend>();
}

}  // namespace slash
