// screen-stamps: watches an X screen from outside and prints one line per
// change that a client draws, as the server reports it through DAMAGE:
//   MONOTONIC_NS SERVER_MS CENTRE_PIXEL
// MONOTONIC_NS is when the report reached this program (the clock the
// benchmark reads at exec), SERVER_MS the server's own stamp, CENTRE_PIXEL
// the pixel at the screen's centre then (hex), read until it has once been
// black. It prints "ready" once it watches, and runs until killed.

#include <time.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::uint32_t CentrePixel(xcb_connection_t* c, const xcb_screen_t& screen) {
  xcb_get_image_reply_t* image = xcb_get_image_reply(
      c,
      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen.root,
                    static_cast<std::int16_t>(screen.width_in_pixels / 2),
                    static_cast<std::int16_t>(screen.height_in_pixels / 2), 1, 1, ~0u),
      nullptr);
  std::uint32_t pixel = 0xFFFFFFFF;
  if (image != nullptr && xcb_get_image_data_length(image) >= 4) {
    std::memcpy(&pixel, xcb_get_image_data(image), 4);
    pixel &= 0xFFFFFF;
  }
  std::free(image);
  return pixel;
}

}  // namespace

int main() {
  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(c) != 0) return 3;
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  const xcb_screen_t& screen = *screens.data;
  const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
  if (damage == nullptr || damage->present == 0) return 3;
  std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
  const xcb_damage_damage_t watched = xcb_generate_id(c);
  xcb_damage_create(c, watched, screen.root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
  bool seen_black = false;
  std::printf("ready %08x\n", CentrePixel(c, screen));
  std::fflush(stdout);
  while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
    const long long arrived = MonotonicNs();
    if (event->response_type == damage->first_event + XCB_DAMAGE_NOTIFY) {
      const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event);
      xcb_damage_subtract(c, watched, XCB_NONE, XCB_NONE);
      std::uint32_t centre = 0;
      if (!seen_black) {
        centre = CentrePixel(c, screen);
        seen_black = centre == 0;
      }
      xcb_flush(c);
      std::printf("%lld %u %08x\n", arrived, notify->timestamp, centre);
      std::fflush(stdout);
    }
    std::free(event);
  }
  return 0;
}
