// The server-side floor: the least a program can do to show the effect on
// an X server. It maps a screen-sized window whose background pixel is
// black, then at each 125 ms tick (absolute sleeps on the monotonic clock)
// draws one random full-width line with one core line request, floods by
// setting the background and clearing, and exits seven ticks later:
// floor-x11 [LINES] (default 13). No window-manager properties, no RandR,
// no error handling beyond giving up.

#include <time.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>

namespace {

void SleepUntil(const timespec& start, long long offset_ns) {
  long long ns = start.tv_nsec + offset_ns;
  timespec due{start.tv_sec + static_cast<time_t>(ns / 1000000000LL),
               static_cast<long>(ns % 1000000000LL)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) != 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 13;
  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(c) != 0) return 3;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&it);
  xcb_screen_t* screen = it.data;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);

  const xcb_window_t window = xcb_generate_id(c);
  const std::uint32_t values[] = {screen->black_pixel, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, screen->width_in_pixels,
                    screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  const xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND, &screen->white_pixel);
  xcb_map_window(c, window);
  xcb_flush(c);

  const long long tick = 125000000LL;
  int k = 12;
  for (int line = 0; line < lines; ++line) {
    SleepUntil(start, ++k * tick);
    const xcb_point_t ends[] = {
        {0, static_cast<std::int16_t>(std::rand() % screen->height_in_pixels)},
        {static_cast<std::int16_t>(screen->width_in_pixels - 1),
         static_cast<std::int16_t>(std::rand() % screen->height_in_pixels)}};
    xcb_poly_line(c, XCB_COORD_MODE_ORIGIN, window, gc, 2, ends);
    xcb_flush(c);
  }
  SleepUntil(start, ++k * tick);
  xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXEL, &screen->white_pixel);
  xcb_clear_area(c, 0, window, 0, 0, 0, 0);
  xcb_flush(c);
  SleepUntil(start, (k + 7) * tick);
  xcb_disconnect(c);
  return 0;
}
