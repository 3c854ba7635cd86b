// Floor for start-up, exit, memory and CPU: the least an SDL2 program does
// to show a full-screen black window. "once" creates a hidden borderless
// window at the display's size, shows it, presents one black frame with SDL's
// software renderer and exits. "loop" then stays for a default run's 33 ticks,
// sleeping to each tick and drawing only on ticks. Prints the same stamps as
// the benchmark build of slash.

#include <SDL.h>
#include <time.h>

#include <cstdio>
#include <cstring>

namespace {

long long Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Stamp(const char* event, long long index) {
  std::fprintf(stderr, "slash-bench %s %lld %lld\n", event, index, Now());
}

void Present(SDL_Renderer* renderer, long long index) {
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderPresent(renderer);
  Stamp("present", index);
}

}  // namespace

int main(int argc, char** argv) {
  const bool loop = argc > 1 && std::strcmp(argv[1], "loop") == 0;
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");  // no time spent probing for Wayland
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 3;
  SDL_Rect bounds{};
  SDL_GetDisplayBounds(0, &bounds);
  const long long start = Now();
  Stamp("load", 0);
  SDL_Window* window = SDL_CreateWindow("floor", bounds.x, bounds.y, bounds.w, bounds.h,
                                        SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  if (window == nullptr || renderer == nullptr) return 3;
  SDL_ShowWindow(window);
  Stamp("mapped", 0);
  Present(renderer, 1);
  if (loop) {
    constexpr long long kInterval = 125000000LL;
    for (int k = 1; k <= 33; ++k) {
      const long long due = start + k * kInterval;
      const timespec deadline{static_cast<time_t>(due / 1000000000LL),
                              static_cast<long>(due % 1000000000LL)};
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
      Stamp("tick", k);
      SDL_PumpEvents();
      Present(renderer, k + 1);
    }
  }
  Stamp("end", loop ? 33 : 0);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
