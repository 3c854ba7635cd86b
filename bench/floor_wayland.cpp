// The Wayland floor: the least a native client can do to show the effect.
// A full-screen xdg-shell toplevel sized from the output's mode; black and
// the flood a 2x2 shared-memory buffer stretched by the viewporter; each
// line one random full-width Bresenham line drawn into the first of two
// full-size buffers the compositor has released, damaged by its rows; ticks
// from a timerfd at absolute due times; the end seven ticks after the
// flood: floor-wayland [LINES] (default 13). It connects with slash's own
// connection code; no error handling beyond giving up.

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
#include <exception>
#include <optional>
#include <vector>

#include "viewporter-client-protocol.h"
#include "window/wayland/wayland_connection.h"
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
  wl_shm* shm = nullptr;
  wl_surface* surface = nullptr;
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

// Handles events until the tick `k` is due; pings are answered as they come.
void WaitForTick(slash::WaylandConnection& connection, int timer, const timespec& start, int k) {
  wl_display* display = connection.display();
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
    connection.MarkQueued();
    connection.SendOwnReplies();
    if ((fds[1].revents & POLLIN) != 0) return;
  }
}

int Floor(int argc, char** argv) {
  const int line_count = argc > 1 ? std::atoi(argv[1]) : 13;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  // The same connection code as slash's: the globals, the outputs, the pings.
  slash::WaylandConnection connection;
  wl_display* display = connection.display();
  const slash::WaylandGlobals& globals = connection.globals();
  const std::optional<slash::OutputFacts> output = connection.outputs().Current({});
  if (globals.viewporter == nullptr || !output || output->mode.width <= 0) return 3;
  Client client;
  client.shm = globals.shm;
  wl_surface* surface = wl_compositor_create_surface(globals.compositor);
  client.surface = surface;
  wp_viewport* viewport = wp_viewporter_get_viewport(globals.viewporter, surface);
  xdg_surface* shell_surface = xdg_wm_base_get_xdg_surface(globals.wm_base, surface);
  xdg_surface_add_listener(shell_surface, &kSurfaceListener, &client);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(shell_surface);
  xdg_toplevel_add_listener(toplevel, &kToplevelListener, &client);
  xdg_toplevel_set_fullscreen(toplevel, nullptr);
  wl_surface_commit(surface);
  while (!client.configured) wl_display_dispatch(display);

  const int w = output->mode.width;
  const int h = output->mode.height;
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
    WaitForTick(connection, timer, start, ++k);
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
  WaitForTick(connection, timer, start, ++k);
  show_solid(0x0000FF);
  wl_display_flush(display);
  WaitForTick(connection, timer, start, k + 7);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Floor(argc, argv);
  } catch (const std::exception&) {
    return 3;  // no compositor to show it on
  }
}
