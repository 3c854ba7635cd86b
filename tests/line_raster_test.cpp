// Our line rasterizer against the X server's: the same zero-width lines,
// drawn by an Xvfb into a window and by LineRuns, light the same pixels,
// ends beyond the window included.

#include "window/line_raster.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "x_display.h"

namespace slash {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

using Pixels = std::set<std::pair<int, int>>;

Pixels FromRuns(const std::vector<PixelRun>& runs) {
  Pixels pixels;
  for (const PixelRun& run : runs) {
    for (int i = 0; i < run.length; ++i) {
      pixels.insert(run.horizontal ? std::pair{run.x + i, run.y} : std::pair{run.x, run.y + i});
    }
  }
  return pixels;
}

// A black window of the test's own, where the server draws white lines.
class ServerCanvas {
 public:
  explicit ServerCanvas(const std::string& display) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_) != 0) return;
    const xcb_screen_t& screen = *xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    const std::uint32_t window_values[] = {screen.black_pixel, 1};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen.root, 0, 0, kWidth,
                      kHeight, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, window_values);
    gc_ = xcb_generate_id(connection_);
    const std::uint32_t gc_values[] = {screen.white_pixel, 0, XCB_CAP_STYLE_BUTT};
    xcb_create_gc(connection_, gc_, window_,
                  XCB_GC_FOREGROUND | XCB_GC_LINE_WIDTH | XCB_GC_CAP_STYLE, gc_values);
    xcb_map_window(connection_, window_);
  }
  ~ServerCanvas() { xcb_disconnect(connection_); }

  bool ok() const { return xcb_connection_has_error(connection_) == 0; }

  Pixels Draw(const PixelLine& line) {
    xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
    const xcb_point_t ends[] = {
        {static_cast<std::int16_t>(line.x1), static_cast<std::int16_t>(line.y1)},
        {static_cast<std::int16_t>(line.x2), static_cast<std::int16_t>(line.y2)}};
    xcb_poly_line(connection_, XCB_COORD_MODE_ORIGIN, window_, gc_, 2, ends);
    auto* image = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, 0, 0, kWidth, kHeight, ~0u),
        nullptr);
    Pixels lit;
    if (image == nullptr) return lit;
    const std::uint8_t* data = xcb_get_image_data(image);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, data + (static_cast<std::size_t>(y) * kWidth + x) * 4, 4);
        if ((pixel & 0xFFFFFF) != 0) lit.insert({x, y});
      }
    }
    std::free(image);
    return lit;
  }

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = 0;
  xcb_gcontext_t gc_ = 0;
};

TEST(LineRuns, LightTheSamePixelsAsTheXServer) {
  const testing::TestDisplay display(kWidth, kHeight, false);
  ASSERT_TRUE(display.ok());
  ServerCanvas canvas(display.name());
  ASSERT_TRUE(canvas.ok());
  // Every octant and both ways of a tie, a dot, the axes, then lines at
  // random, many of them running out of the window.
  std::vector<PixelLine> lines = {
      {5, 5, 5, 5}, {0, 0, 159, 0},   {3, 0, 3, 119},   {0, 0, 4, 2},    {4, 2, 0, 0},
      {0, 2, 4, 0}, {4, 0, 0, 2},     {0, 0, 2, 4},     {2, 4, 0, 0},    {0, 4, 2, 0},
      {2, 0, 0, 4}, {10, 10, 50, 50}, {50, 10, 10, 50}, {0, 7, 159, 80}, {159, 80, 0, 7}};
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> x(-60, kWidth + 60);
  std::uniform_int_distribution<int> y(-60, kHeight + 60);
  for (int i = 0; i < 400; ++i) lines.push_back({x(random), y(random), x(random), y(random)});
  int differing = 0;
  for (const PixelLine& line : lines) {
    const Pixels ours = FromRuns(LineRuns(line, PixelRect{0, 0, kWidth, kHeight}));
    const Pixels server = canvas.Draw(line);
    if (ours != server && ++differing <= 5) {
      ADD_FAILURE() << "(" << line.x1 << "," << line.y1 << ")-(" << line.x2 << "," << line.y2
                    << "): " << ours.size() << " pixels of ours, " << server.size()
                    << " of the server's";
    }
  }
  EXPECT_EQ(differing, 0) << "of " << lines.size() << " lines";
}

}  // namespace
}  // namespace slash
