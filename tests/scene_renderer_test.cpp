// Drawing onto an offscreen surface with SDL's software renderer: the same
// function the window draws with, checked pixel by pixel without a display.

#include "window/sdl/scene_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace slash {
namespace {

class OffscreenCanvas {
 public:
  OffscreenCanvas(int width, int height)
      : surface_(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888),
                 SDL_FreeSurface) {
    if (surface_) renderer_.reset(SDL_CreateSoftwareRenderer(surface_.get()));
  }

  bool Draw(const EffectScene& scene) {
    const bool drawn = DrawScene(renderer_.get(), scene);
    SDL_RenderPresent(renderer_.get());
    return drawn;
  }

  // The pixel as an EffectColor word, 0x00BBGGRR.
  EffectColor At(int x, int y) const {
    const auto* row = static_cast<const Uint8*>(surface_->pixels) + y * surface_->pitch;
    const Uint32 argb = reinterpret_cast<const Uint32*>(row)[x];
    return ((argb >> 16) & 0xFF) | (argb & 0xFF00) | ((argb & 0xFF) << 16);
  }

  int width() const { return surface_->w; }
  int height() const { return surface_->h; }
  bool ok() const { return renderer_ != nullptr; }

 private:
  std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface_;
  std::unique_ptr<SDL_Renderer, decltype(&SDL_DestroyRenderer)> renderer_{nullptr,
                                                                          SDL_DestroyRenderer};
};

EffectScene SceneWithLines(int width, int height, int count, EffectColor color,
                           std::mt19937& random) {
  EffectScene scene;
  scene.width = width;
  scene.height = height;
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < count; ++i) {
    SlashLine& line = scene.Lz[i];
    line = SlashLine{0.0f,
                     std::floor(unit(random) * height * 0.999f),
                     static_cast<float>(width),
                     std::floor(unit(random) * height * 0.999f),
                     color,
                     true};
  }
  return scene;
}

int RowOf(float y, int scene_height, int output_height) {
  return static_cast<int>(std::floor(y * output_height / scene_height));
}

TEST(DrawScene, PlacedLinesReachBothEdgesInTheirExactColour) {
  const struct {
    int scene_width, scene_height, output_width, output_height;
  } sizes[] = {
      {640, 480, 640, 480}, {1, 1, 1, 1},         {2, 2, 2, 2}, {7680, 4, 7680, 4},
      {3, 900, 3, 900},     {320, 240, 640, 480},  // a high-DPI drawable, twice the size
  };
  const EffectColor colors[] = {0x0000FF, 0x00FFFF, 0xFF0000, 0x00FF00, 0xFFFFFF};
  std::mt19937 random(7);
  for (const auto& size : sizes) {
    for (const EffectColor color : colors) {
      OffscreenCanvas canvas(size.output_width, size.output_height);
      ASSERT_TRUE(canvas.ok()) << SDL_GetError();
      const EffectScene scene =
          SceneWithLines(size.scene_width, size.scene_height, 5, color, random);
      ASSERT_TRUE(canvas.Draw(scene)) << SDL_GetError();
      SCOPED_TRACE(std::to_string(size.output_width) + "x" + std::to_string(size.output_height));
      for (int i = 0; i < 5; ++i) {
        const SlashLine& line = scene.Lz[i];
        EXPECT_EQ(canvas.At(0, RowOf(line.y1, size.scene_height, size.output_height)), color);
        EXPECT_EQ(
            canvas.At(size.output_width - 1, RowOf(line.y2, size.scene_height, size.output_height)),
            color);
      }
      for (int x = 0; x < canvas.width(); ++x) {
        int coloured = 0;
        for (int y = 0; y < canvas.height(); ++y) {
          const EffectColor pixel = canvas.At(x, y);
          ASSERT_TRUE(pixel == color || pixel == kBlack) << "stray colour at " << x << "," << y;
          coloured += pixel == color;
        }
        ASSERT_GT(coloured, 0) << "a gap in column " << x;
      }
    }
  }
}

TEST(DrawScene, AShallowLineIsOneDevicePixelWide) {
  for (const int scale : {1, 2}) {
    OffscreenCanvas canvas(400 * scale, 300 * scale);
    EffectScene scene;
    scene.width = 400;
    scene.height = 300;
    scene.Lz[0] = SlashLine{0.0f, 100.5f, 400.0f, 180.25f, kRed, true};
    ASSERT_TRUE(canvas.Draw(scene));
    for (int x = 0; x < canvas.width(); ++x) {
      int coloured = 0;
      for (int y = 0; y < canvas.height(); ++y) coloured += canvas.At(x, y) == kRed;
      ASSERT_EQ(coloured, 1) << "column " << x << " at scale " << scale;
    }
  }
}

TEST(DrawScene, RedIsRgb255And0And0) {
  OffscreenCanvas canvas(4, 4);
  EffectScene scene;
  scene.width = scene.height = 4;
  scene.background = kRed;
  ASSERT_TRUE(canvas.Draw(scene));
  const SDL_Color rgb = ToSdlColor(kRed);
  EXPECT_EQ(rgb.r, 255);
  EXPECT_EQ(rgb.g, 0);
  EXPECT_EQ(rgb.b, 0);
  EXPECT_EQ(canvas.At(2, 2), kRed);
}

TEST(DrawScene, TheFloodHidesEveryPlacedLineAndUnplacedLinesDrawNothing) {
  std::mt19937 random(11);
  OffscreenCanvas canvas(320, 200);
  EffectScene scene = SceneWithLines(320, 200, 31, 0xFF0000, random);
  // Lines the sequence never placed keep the design segment and draw nothing,
  // whatever colour they were given.
  for (int i = 31; i < 100; ++i) scene.Lz[i].color = 0x00FF00;
  ASSERT_TRUE(canvas.Draw(scene));
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) ASSERT_NE(canvas.At(x, y), 0x00FF00u);
  }

  scene.background = 0xFF0000;
  ASSERT_TRUE(canvas.Draw(scene));
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) ASSERT_EQ(canvas.At(x, y), 0xFF0000u);
  }
}

}  // namespace
}  // namespace slash
