#include "screen_watch.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace slash::testing {
namespace {

int Shift(std::uint32_t mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
  return shift;
}

// A component of a pixel, scaled to 0..255.
std::uint32_t Component(std::uint32_t pixel, std::uint32_t mask) {
  const std::uint32_t top = mask >> Shift(mask);
  return top == 0 ? 0 : ((pixel & mask) >> Shift(mask)) * 255 / top;
}

}  // namespace

ScreenWatch::ScreenWatch(const std::string& display) {
  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screen_number);
  if (xcb_connection_has_error(c) != 0) {
    xcb_disconnect(c);
    return;
  }
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  const xcb_screen_t& screen = *screens.data;
  root_ = screen.root;
  white_ = screen.white_pixel;
  width_ = screen.width_in_pixels;
  height_ = screen.height_in_pixels;
  for (auto d = xcb_screen_allowed_depths_iterator(&screen); d.rem > 0; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen.root_visual) {
        // A DirectColor root is read by its masks too: the window shows
        // through a TrueColor visual with the same ones.
        palette_ = v.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
                   v.data->_class != XCB_VISUAL_CLASS_DIRECT_COLOR;
        colormap_ = screen.default_colormap;
        masks_[0] = v.data->red_mask;
        masks_[1] = v.data->green_mask;
        masks_[2] = v.data->blue_mask;
      }
    }
  }
  const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
  if (damage == nullptr || damage->present == 0) {
    xcb_disconnect(c);
    return;
  }
  std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
  damage_event_ = damage->first_event;
  damage_ = xcb_generate_id(c);
  xcb_damage_create(c, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
  connection_ = c;
  TakeState(0);  // as before
}

ScreenWatch::~ScreenWatch() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

void ScreenWatch::CoverLeftHalf(int ms) {
  const xcb_window_t cover = xcb_generate_id(connection_);
  // Override-redirect: no window manager moves it or gives it a frame.
  const std::uint32_t values[] = {white_, 1};
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, cover, root_, 0, 0,
                    static_cast<std::uint16_t>(width_ / 2), static_cast<std::uint16_t>(height_), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(connection_, cover);
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  usleep(static_cast<useconds_t>(ms) * 1000);
  xcb_destroy_window(connection_, cover);
  xcb_flush(connection_);
}

bool ScreenWatch::WindowManagerAnnounced() {
  constexpr char kName[] = "_NET_SUPPORTING_WM_CHECK";
  auto* atom = xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, sizeof kName - 1, kName), nullptr);
  if (atom == nullptr) return false;
  auto* property = xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, root_, atom->atom, XCB_ATOM_WINDOW, 0, 1),
      nullptr);
  const bool announced = property != nullptr && xcb_get_property_value_length(property) == 4;
  std::free(property);
  std::free(atom);
  return announced;
}

void ScreenWatch::GrabServer(bool grabbed) {
  if (grabbed) {
    xcb_grab_server(connection_);
  } else {
    xcb_ungrab_server(connection_);
  }
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

Screenshot ScreenWatch::Grab() {
  Screenshot shot;
  xcb_get_image_reply_t* image = xcb_get_image_reply(
      connection_,
      xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, 0, 0,
                    static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(height_), ~0u),
      nullptr);
  if (image == nullptr) return shot;
  const std::uint8_t* data = xcb_get_image_data(image);
  const std::size_t length = static_cast<std::size_t>(xcb_get_image_data_length(image));
  const std::size_t count = static_cast<std::size_t>(width_) * height_;
  // 24- and 30-bit screens keep 32 bits a pixel, 16-bit ones 16 bits, in
  // this machine's byte order (the server runs here); 8-bit ones a byte,
  // an index into the colour map.
  const std::size_t bytes = length >= count * 4   ? 4
                            : length >= count * 2 ? 2
                            : length >= count     ? 1
                                                  : 0;
  const std::vector<std::uint32_t> palette = palette_ ? Palette() : std::vector<std::uint32_t>{};
  if (bytes == 1 && palette.size() == 256) {
    shot.width = width_;
    shot.height = height_;
    shot.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) shot.pixels[i] = palette[data[i]];
  } else if (bytes > 1) {
    shot.width = width_;
    shot.height = height_;
    shot.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t pixel = 0;
      if (bytes == 4) {
        std::memcpy(&pixel, data + i * 4, 4);
      } else {
        std::uint16_t narrow = 0;
        std::memcpy(&narrow, data + i * 2, 2);
        pixel = narrow;
      }
      shot.pixels[i] = (Component(pixel, masks_[2]) << 16) | (Component(pixel, masks_[1]) << 8) |
                       Component(pixel, masks_[0]);
    }
  }
  std::free(image);
  return shot;
}

std::vector<std::uint32_t> ScreenWatch::Palette() {
  std::uint32_t indices[256];
  for (std::uint32_t i = 0; i < 256; ++i) indices[i] = i;
  auto* reply = xcb_query_colors_reply(
      connection_, xcb_query_colors(connection_, colormap_, 256, indices), nullptr);
  std::vector<std::uint32_t> palette;
  if (reply != nullptr) {
    const xcb_rgb_t* rgb = xcb_query_colors_colors(reply);
    for (int i = 0; i < xcb_query_colors_colors_length(reply); ++i) {
      palette.push_back(static_cast<std::uint32_t>((rgb[i].blue >> 8) << 16 |
                                                   (rgb[i].green >> 8) << 8 | rgb[i].red >> 8));
    }
  }
  std::free(reply);
  return palette;
}

void ScreenWatch::TakeState(std::uint32_t server_ms) {
  Screenshot shot = Grab();
  if (shot.pixels.empty()) return;
  if (!states_.empty() && states_.back().shot.pixels == shot.pixels) return;
  states_.push_back({server_ms, std::move(shot)});
}

// Raises this thread's scheduling priority while it lives, where allowed
// (root): the watch must take every state even on a busy machine, and only
// this thread's priority changes, not that of the program watched.
class UrgentThread {
 public:
  UrgentThread() : thread_(static_cast<id_t>(syscall(SYS_gettid))) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread_);
    if (errno == 0 && setpriority(PRIO_PROCESS, thread_, kUrgentNice) == 0) saved_ = nice;
  }
  ~UrgentThread() {
    if (saved_ != kUnchanged) setpriority(PRIO_PROCESS, thread_, saved_);
  }
  UrgentThread(const UrgentThread&) = delete;
  UrgentThread& operator=(const UrgentThread&) = delete;

  static constexpr int kUrgentNice = -10;

 private:
  static constexpr int kUnchanged = 100;
  id_t thread_;
  int saved_ = kUnchanged;
};

void ScreenWatch::Record(const std::function<bool()>& keep_going, int timeout_ms, int settle_ms) {
  using Clock = std::chrono::steady_clock;
  // The probe first, so that its thread keeps the priority slash runs at;
  // this thread then runs ahead of it, where allowed.
  const StarvationProbe probe;
  const UrgentThread urgent;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  Clock::time_point settle_end = Clock::time_point::max();
  xcb_flush(connection_);
  while (Clock::now() < std::min(deadline, settle_end)) {
    if (settle_end == Clock::time_point::max() && !keep_going()) {
      settle_end = Clock::now() + std::chrono::milliseconds(settle_ms);
    }
    pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
    poll(&fd, 1, 5);
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if (event->response_type == damage_event_ + XCB_DAMAGE_NOTIFY) {
        const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event);
        // Take the damage first: whatever is drawn after the grab starts
        // raises the next notification.
        xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE);
        TakeState(notify->timestamp);
      }
      std::free(event);
    }
  }
  starved_ms_ = probe.worst_late_ms();
}

}  // namespace slash::testing
