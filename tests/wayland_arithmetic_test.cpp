// The Wayland back end's arithmetic, without a compositor: the pictures'
// size for what a compositor announces (sizes no one should trust
// included), the output that decides it, the pixels, a picture's content
// and damage, and the socket's path.

#include <gtest/gtest.h>

#include <string>

#include "window/wayland/picture_content.h"
#include "window/wayland/shm_buffer.h"
#include "window/wayland/surface_layout.h"
#include "window/wayland/wayland_socket.h"

namespace slash {
namespace {

struct LayoutCase {
  const char* name;
  SizeFacts facts;
  ScreenSize picture;      // 0x0: no layout at all
  ScreenSize destination;  // the logical size
  std::int32_t buffer_scale;
  const char* refusal;  // what the refusal names, "" when the picture can be made
};

OutputFacts Output(ScreenSize mode, std::int32_t scale = 1, std::int32_t transform = 0) {
  return OutputFacts{mode, scale, transform};
}

// Rows leave the facts they do not need at their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
// clang-format off
const LayoutCase kLayouts[] = {
    {"the whole output, ours to choose", {.output = Output({640, 480})}, {640, 480}, {640, 480}, 1, ""},
    {"fractional 1.5", {{640, 360}, Output({960, 540}, 2), 180}, {960, 540}, {640, 360}, 1, ""},
    {"integer 2 announced for an output at 1.5", {{640, 360}, Output({960, 540}, 2)},
     {960, 540}, {640, 360}, 1, ""},
    {"a logical size rounded down at 1.5", {{426, 320}, Output({640, 480}, 2)},
     {639, 480}, {426, 320}, 1, ""},
    {"a quarter-turned output at 1.5", {{320, 426}, Output({640, 480}, 2, 1)},
     {480, 639}, {320, 426}, 1, ""},
    {"integer scale 2", {{320, 240}, Output({640, 480}, 2)}, {640, 480}, {320, 240}, 1, ""},
    {"no viewporter at scale 2", {{320, 240}, Output({640, 480}, 2), 0, false},
     {640, 480}, {320, 240}, 2, ""},
    {"no viewporter at scale 1", {{}, Output({640, 480}), 0, false}, {640, 480}, {640, 480}, 1, ""},
    {"no mode but a configure", {{800, 600}, Output({0, 0})}, {800, 600}, {800, 600}, 1, ""},
    {"no output but a configure", {.configured = {800, 600}}, {800, 600}, {800, 600}, 1, ""},
    {"neither output nor size", {}, {0, 0}, {0, 0}, 1, ""},
    {"scale 1000 over its own mode", {{1920, 1080}, Output({1920, 1080}, 1000)},
     {1920, 1080}, {1920, 1080}, 1, ""},
    {"scale 1000 with no mode", {{1920, 1080}, Output({0, 0}, 1000)},
     {1920000, 1080000}, {1920, 1080}, 1, "1920000x1080000"},
    {"an output of 2147483647x1", {{}, Output({2147483647, 1})},
     {2147483647, 1}, {2147483647, 1}, 1, "2147483647x1"},
    {"an output of 100000x100000", {{}, Output({100000, 100000})},
     {100000, 100000}, {100000, 100000}, 1, "100000x100000"},
    {"a resize to 65535x65535, the screen unknown", {{65535, 65535}, Output({640, 480})},
     {65535, 65535}, {65535, 65535}, 1, "65535x65535"},
    // A configure larger than the screen is not followed past it.
    {"16384x16384 on a screen of 1024x768",
     {{16384, 16384}, Output({1024, 768}), 0, true, ScreenSize{1024, 768}},
     {1024, 768}, {16384, 16384}, 1, ""},
    {"the same at fractional 1.5", {{16384, 16384}, Output({1024, 768}, 2), 180, true,
     ScreenSize{1024, 768}}, {1024, 768}, {16384, 16384}, 1, ""},
    {"without the viewporter at scale 2, in whole multiples of it",
     {{16384, 16384}, Output({1023, 767}, 2), 0, false, ScreenSize{1023, 767}},
     {1022, 766}, {16384, 16384}, 2, ""},
    // The limit is wl_shm's own: 23170 rows of 92680 bytes reach INT32_MAX / stride.
    {"23170x23170", {{23170, 23170}, Output({23170, 23170})},
     {23170, 23170}, {23170, 23170}, 1, "23170x23170"},
    {"23169x23169", {{23169, 23169}, Output({23169, 23169})},
     {23169, 23169}, {23169, 23169}, 1, ""},
    // Any scale the protocol allows makes at least one pixel.
    {"fractional 1/120 on 50x50", {{50, 50}, Output({50, 50}), 1}, {1, 1}, {50, 50}, 1, ""},
};
// clang-format on
#pragma GCC diagnostic pop

TEST(LayoutFor, MakesOnePicturePixelOneScreenPixelAndRefusesWhatMemoryCannotHold) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    const std::optional<SurfaceLayout> layout = LayoutFor(c.facts);
    if (c.picture.width == 0) {
      EXPECT_FALSE(layout);
      continue;
    }
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->picture_width, c.picture.width);
    EXPECT_EQ(layout->picture_height, c.picture.height);
    EXPECT_EQ(layout->logical_width, c.destination.width);
    EXPECT_EQ(layout->logical_height, c.destination.height);
    EXPECT_EQ(layout->buffer_scale, c.buffer_scale);
    const auto refusal = PictureRefusal(layout->picture_width, layout->picture_height, 4);
    if (*c.refusal == '\0') {
      EXPECT_FALSE(refusal) << *refusal;
    } else {
      ASSERT_TRUE(refusal);
      EXPECT_NE(refusal->find(c.refusal), std::string::npos) << *refusal;
    }
  }
}

// A compositor's stretch of a tiny buffer over a turned output has left an
// edge uncovered (sway at 1.5, turned 270 degrees): one colour is then a
// picture of the window's size, as it is without a viewporter.
TEST(LayoutFor, StretchesOneColourOnlyOverAnUnturnedOutput) {
  const struct {
    std::int32_t transform;
    bool viewporter;
    bool stretched;
  } cases[] = {{0, true, true}, {3, true, false}, {4, true, false}, {0, false, false}};
  for (const auto& c : cases) {
    SizeFacts facts;
    facts.output = Output({640, 480}, 1, c.transform);
    facts.viewporter = c.viewporter;
    EXPECT_EQ(LayoutFor(facts)->stretch_solid, c.stretched) << c.transform << " " << c.viewporter;
  }
}

TEST(PictureRefusal, HoldsAPoolToTwoGibibytesLessOne) {
  const struct {
    std::int64_t width, height;
    int bytes;
    bool refused;
  } cases[] = {
      {16384, 32766, 4, false},  // the most rows of 65536 bytes wl_shm takes
      {16384, 32767, 4, true},   // INT32_MAX / stride = 32767 rows: refused
      {32768, 16383, 4, true},
      {32768, 32766, 2, false},
      {0, 480, 4, true},
      {640, -1, 4, true},
      {std::int64_t{1} << 40, std::int64_t{1} << 40, 4, true},  // saturates, never wraps
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PictureRefusal(c.width, c.height, c.bytes).has_value(), c.refused)
        << c.width << "x" << c.height << " at " << c.bytes;
  }
}

TEST(SurfaceOutput, IsTheSharpestEnteredElseTheOneTheSizeFits) {
  const OutputState small{Output({1280, 720}), false};
  const OutputState large{Output({3840, 2160}, 2), false};
  const OutputState no_mode{Output({0, 0}), false};
  auto entered = [](OutputState state) {
    state.entered = true;
    return state;
  };
  const struct {
    const char* name;
    std::vector<OutputState> outputs;
    ScreenSize configured;
    std::int32_t expected_width;  // of the chosen output's mode; -1: none
  } cases[] = {
      {"none", {}, {}, -1},
      {"on one", {small, entered(large)}, {}, 3840},
      {"on both: the sharpest", {entered(small), entered(large)}, {}, 3840},
      {"before any enter: the size fits", {small, large}, {1920, 1080}, 3840},
      {"before any enter: the first with a mode", {no_mode, small}, {}, 1280},
      {"before any enter: else the first", {no_mode}, {800, 600}, 0},
  };
  for (const auto& c : cases) {
    const OutputFacts* chosen = SurfaceOutput(c.outputs, c.configured);
    EXPECT_EQ(chosen == nullptr ? -1 : chosen->mode.width, c.expected_width) << c.name;
  }
}

TEST(ShmPixels, EveryEffectColourIsExactInBothFormats) {
  const struct {
    EffectColor color;
    std::uint32_t xrgb;
    std::uint16_t rgb565;
  } cases[] = {
      {0x000000, 0x000000, 0x0000}, {0x0000FF, 0xFF0000, 0xF800}, {0x00FFFF, 0xFFFF00, 0xFFE0},
      {0xFF0000, 0x0000FF, 0x001F}, {0x00FF00, 0x00FF00, 0x07E0}, {0xFFFFFF, 0xFFFFFF, 0xFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XrgbPixel(c.color), c.xrgb) << std::hex << c.color;
    EXPECT_EQ(Rgb565Pixel(c.color), c.rgb565) << std::hex << c.color;
  }
  EXPECT_EQ(BytesPerPixel(ShmFormat::kXrgb8888), 4);
  EXPECT_EQ(BytesPerPixel(ShmFormat::kRgb565), 2);
}

EffectScene SceneWithLines(EffectColor background, std::initializer_list<std::size_t> lines) {
  EffectScene scene;
  scene.background = background;
  for (const std::size_t i : lines) {
    SlashLine& line = scene.Lz[i];
    line.placed = true;
    line.color = 0xFF0000;
    line.y1 = static_cast<float>(i);
    line.x2 = 312;
    line.y2 = static_cast<float>(i) + 10;
  }
  return scene;
}

TEST(PictureContent, HoldsTheLinesThatShowAndDamagesTheirRows) {
  const ScreenSize size{312, 213};
  const PictureContent black = SceneContent(SceneWithLines(kBlack, {}), size);
  const PictureContent one = SceneContent(SceneWithLines(kBlack, {5}), size);
  const PictureContent two = SceneContent(SceneWithLines(kBlack, {5, 40}), size);
  const PictureContent flood = SceneContent(SceneWithLines(0xFF0000, {5, 40}), size);
  EXPECT_TRUE(black.solid);
  EXPECT_FALSE(one.solid);
  EXPECT_TRUE(flood.solid) << "lines of the background's colour show nothing";
  EXPECT_EQ(flood.background, 0xFF0000u);

  const auto rect = [](PixelRect r) { return std::vector<int>{r.x, r.y, r.width, r.height}; };
  EXPECT_EQ(rect(Damage(std::nullopt, one)), (std::vector<int>{0, 0, 312, 213}));
  EXPECT_EQ(rect(Damage(black, one)), (std::vector<int>{0, 0, 312, 213}));
  EXPECT_EQ(rect(Damage(one, two)), (std::vector<int>{0, 40, 312, 11})) << "the new line's rows";
  EXPECT_EQ(rect(Damage(two, two)), (std::vector<int>{0, 0, 0, 0}));
  PictureContent other_size = two;
  other_size.size = {624, 426};
  EXPECT_EQ(rect(Damage(two, other_size)), (std::vector<int>{0, 0, 624, 426}));

  EXPECT_FALSE(NeedsRedraw(one, two)) << "a picture only lacking a line gets it drawn";
  EXPECT_TRUE(NeedsRedraw(two, one)) << "a line it holds went";
  EXPECT_TRUE(NeedsRedraw(one, flood));
}

TEST(WaylandSocketPath, IsTheNameInTheRuntimeFolderOrThePathItself) {
  const auto environment = [](std::string runtime_dir) {
    return [runtime_dir](const char* name) {
      return std::string(name) == "XDG_RUNTIME_DIR" ? runtime_dir : std::string();
    };
  };
  EXPECT_EQ(WaylandSocketPath("wayland-1", environment("/run/user/1000")),
            "/run/user/1000/wayland-1");
  EXPECT_EQ(WaylandSocketPath("/tmp/my socket", environment("/run/user/1000")), "/tmp/my socket");
  EXPECT_EQ(WaylandSocketPath("wayland-0", environment("")), "");
}

}  // namespace
}  // namespace slash
