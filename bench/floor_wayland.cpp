// The Wayland floor: the least a native client can do to show the effect.
// A full-screen xdg-shell toplevel sized from the output's mode; black and
// the flood a 2x2 shared-memory buffer stretched by the viewporter; each
// line one random full-width Bresenham line drawn into the first of two
// full-size buffers the compositor has released, damaged by its rows; ticks
// from a timerfd at absolute due times; the end seven ticks after the
// flood: floor-wayland [LINES] (default 13). No error handling beyond
// giving up.

#include <poll.h>
#include <sys/mman.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct Buffer {
  wl_buffer* buffer = nullptr;
  std::uint32_t* pixels = nullptr;
  bool busy = false;
  std::size_t lines_drawn = 0;
};

struct Line {
  int y1;
  int y2;
};

struct Client {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm_base = nullptr;
  wp_viewporter* viewporter = nullptr;
  wl_output* output = nullptr;
  wl_surface* surface = nullptr;
  int width = 0;
  int height = 0;
  bool configured = false;
};

Buffer NewBuffer(Client& client, int width, int height) {
  const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
  const int fd = memfd_create("floor", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) std::exit(3);
  Buffer result;
  result.pixels =
      static_cast<std::uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  wl_shm_pool* pool = wl_shm_create_pool(client.shm, fd, static_cast<std::int32_t>(bytes));
  result.buffer =
      wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return result;
}

void DrawLine(Buffer& buffer, int width, const Line& line, std::uint32_t color) {
  const int dx = width - 1;
  const int dy = std::abs(line.y2 - line.y1);
  const int step = line.y2 > line.y1 ? 1 : -1;
  int error = dx / 2;
  for (int x = 0, y = line.y1; x <= dx; ++x) {
    buffer.pixels[static_cast<std::size_t>(y) * width + x] = color;
    error -= dy;
    if (error < 0) {
      y += step;
      error += dx;
    }
  }
}

const wl_buffer_listener kBufferListener = {
    .release = [](void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; },
};

const wl_output_listener kOutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t, const char*, const char*, std::int32_t) {},
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t w, std::int32_t h,
           std::int32_t) {
          if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
          static_cast<Client*>(data)->width = w;
          static_cast<Client*>(data)->height = h;
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void*, wl_output*, std::int32_t) {},
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const wl_registry_listener kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t) {
          auto& client = *static_cast<Client*>(data);
          if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
            client.compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, 4));
          } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            client.shm =
                static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
          } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
            client.wm_base = static_cast<xdg_wm_base*>(
                wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
          } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
            client.viewporter = static_cast<wp_viewporter*>(
                wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
          } else if (std::strcmp(interface, wl_output_interface.name) == 0 &&
                     client.output == nullptr) {
            client.output =
                static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
            wl_output_add_listener(client.output, &kOutputListener, &client);
          }
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

const xdg_wm_base_listener kWmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener kSurfaceListener = {
    .configure =
        [](void* data, xdg_surface* surface, std::uint32_t serial) {
          xdg_surface_ack_configure(surface, serial);
          auto& client = *static_cast<Client*>(data);
          // Once shown, the acknowledged state is committed at once: the
          // compositor may hold its next frame until it is.
          if (client.configured) wl_surface_commit(client.surface);
          client.configured = true;
        },
};

const xdg_toplevel_listener kToplevelListener = {
    .configure = [](void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {},
    .close = [](void*, xdg_toplevel*) { std::exit(0); },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

// Handles events until the tick `k` is due.
void WaitForTick(wl_display* display, int timer, const timespec& start, int k) {
  const long long ns = start.tv_nsec + k * 125000000LL;
  itimerspec due{};
  due.it_value = {start.tv_sec + static_cast<time_t>(ns / 1000000000LL),
                  static_cast<long>(ns % 1000000000LL)};
  timerfd_settime(timer, TFD_TIMER_ABSTIME, &due, nullptr);
  for (;;) {
    while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
    wl_display_flush(display);
    pollfd fds[] = {{wl_display_get_fd(display), POLLIN, 0}, {timer, POLLIN, 0}};
    poll(fds, 2, -1);
    if ((fds[0].revents & POLLIN) != 0) {
      if (wl_display_read_events(display) < 0) std::exit(4);
    } else {
      wl_display_cancel_read(display);
    }
    wl_display_dispatch_pending(display);
    if ((fds[1].revents & POLLIN) != 0) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int line_count = argc > 1 ? std::atoi(argv[1]) : 13;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return 3;
  Client client;
  wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &client);
  wl_display_roundtrip(display);
  wl_display_roundtrip(display);
  if (client.compositor == nullptr || client.shm == nullptr || client.wm_base == nullptr ||
      client.viewporter == nullptr || client.width <= 0) {
    return 3;
  }
  xdg_wm_base_add_listener(client.wm_base, &kWmBaseListener, &client);
  wl_surface* surface = wl_compositor_create_surface(client.compositor);
  client.surface = surface;
  wp_viewport* viewport = wp_viewporter_get_viewport(client.viewporter, surface);
  xdg_surface* shell_surface = xdg_wm_base_get_xdg_surface(client.wm_base, surface);
  xdg_surface_add_listener(shell_surface, &kSurfaceListener, &client);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(shell_surface);
  xdg_toplevel_add_listener(toplevel, &kToplevelListener, &client);
  xdg_toplevel_set_fullscreen(toplevel, nullptr);
  wl_surface_commit(surface);
  while (!client.configured) wl_display_dispatch(display);

  const int w = client.width;
  const int h = client.height;
  const auto show_solid = [&](std::uint32_t color) {
    Buffer solid = NewBuffer(client, 2, 2);
    std::fill(solid.pixels, solid.pixels + 4, color);
    wp_viewport_set_source(viewport, 0, 0, wl_fixed_from_int(1), wl_fixed_from_int(1));
    wp_viewport_set_destination(viewport, w, h);
    wl_surface_attach(surface, solid.buffer, 0, 0);
    wl_surface_damage_buffer(surface, 0, 0, 2, 2);
    wl_surface_commit(surface);
  };
  show_solid(0);
  wl_display_flush(display);

  const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
  std::vector<Buffer> buffers = {NewBuffer(client, w, h), NewBuffer(client, w, h)};
  for (Buffer& buffer : buffers) wl_buffer_add_listener(buffer.buffer, &kBufferListener, &buffer);
  std::vector<Line> lines;
  int k = 12;
  for (int i = 0; i < line_count; ++i) {
    WaitForTick(display, timer, start, ++k);
    lines.push_back({std::rand() % h, std::rand() % h});
    auto free =
        std::find_if(buffers.begin(), buffers.end(), [](const Buffer& b) { return !b.busy; });
    if (free == buffers.end()) continue;  // the line goes up with the next one
    for (; free->lines_drawn < lines.size(); ++free->lines_drawn) {
      DrawLine(*free, w, lines[free->lines_drawn], 0x0000FF);
    }
    const Line& line = lines.back();
    wp_viewport_set_source(viewport, wl_fixed_from_int(-1), wl_fixed_from_int(-1),
                           wl_fixed_from_int(-1), wl_fixed_from_int(-1));
    wl_surface_attach(surface, free->buffer, 0, 0);
    const bool first = lines.size() == 1;
    const int top = first ? 0 : std::min(line.y1, line.y2);
    const int rows = first ? h : std::abs(line.y2 - line.y1) + 1;
    wl_surface_damage_buffer(surface, 0, top, w, rows);
    wl_surface_commit(surface);
    free->busy = true;
    wl_display_flush(display);
  }
  WaitForTick(display, timer, start, ++k);
  show_solid(0x0000FF);
  wl_display_flush(display);
  WaitForTick(display, timer, start, k + 7);
  wl_display_disconnect(display);
  return 0;
}
