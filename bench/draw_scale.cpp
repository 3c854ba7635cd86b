// How long drawing and presenting a full frame (100 placed lines) takes as
// the screen grows: offscreen with SDL's software renderer, and on a real
// window with the renderer slash uses (when a display is there).

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <random>

#include "window/effect_scene.h"
#include "window/scene_renderer.h"

namespace {

slash::EffectScene FullScene(int width, int height) {
  slash::EffectScene scene;
  scene.width = width;
  scene.height = height;
  std::mt19937 random(1);
  std::uniform_real_distribution<float> unit(0.0f, 0.999f);
  for (slash::SlashLine& line : scene.Lz) {
    line = slash::SlashLine{
        0.0f, unit(random) * height, static_cast<float>(width), unit(random) * height, 0xFF0000,
        true};
  }
  return scene;
}

void DrawFrames(benchmark::State& state, SDL_Renderer* renderer, const slash::EffectScene& scene) {
  for (auto _ : state) {
    slash::DrawScene(renderer, scene);
    SDL_RenderPresent(renderer);
  }
  state.counters["pixels"] = static_cast<double>(scene.width) * scene.height;
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(scene.width) * scene.height,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Offscreen(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
  DrawFrames(state, renderer, FullScene(width, height));
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(surface);
}

// The window as slash makes it: borderless, software renderer, drawn
// straight into the window's framebuffer.
void Window(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  SDL_Window* window = SDL_CreateWindow("draw-scale", 0, 0, width, height, SDL_WINDOW_BORDERLESS);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  if (renderer == nullptr) {
    state.SkipWithError("no window on this display");
    return;
  }
  DrawFrames(state, renderer, FullScene(width, height));
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({640, 480})->Args({1920, 1080})->Args({3840, 2160})->Args({7680, 4320});
  b->Unit(benchmark::kMillisecond)->MinTime(0.5);
}

BENCHMARK(Offscreen)->Apply(Sizes);
BENCHMARK(Window)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  const bool video = SDL_Init(SDL_INIT_VIDEO) == 0;
  benchmark::Initialize(&argc, argv);
  if (!video) benchmark::SetBenchmarkFilter("Offscreen");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  SDL_Quit();
  return 0;
}
