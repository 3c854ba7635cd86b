// wayland-stamps: watches a wlroots compositor's first output from outside,
// through its screen-copy protocol, and prints one line per picture it
// shows, as screen-stamps does for an X screen:
//   MONOTONIC_NS PRESENTED_MS CENTRE_PIXEL
// MONOTONIC_NS is when the picture reached this program (the clock the
// benchmark reads at exec), PRESENTED_MS the compositor's own stamp of it,
// CENTRE_PIXEL the pixel at the output's centre (hex, 0x00RRGGBB). Only 64
// columns at the centre are copied: every full-width line crosses them, and
// copying a whole 4K output each frame would load the compositor more than
// the programs measured. A frame whose columns are unchanged (the
// compositor repainting for its own reasons) prints nothing. It prints "ready" once it
// watches, and runs until killed.

#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <vector>

#include "window/wayland/wayland_connection.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace {

struct Watch {
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;
  wl_output* output = nullptr;
  int width = 0;
  int height = 0;
  wl_buffer* buffer = nullptr;
  std::uint32_t* pixels = nullptr;
  int rows = 0;
  int stride = 0;
  bool first = true;
  std::vector<std::uint32_t> last;  // the column as last printed
};

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Capture(Watch& watch);

// The columns copied around the centre: a new line changes at least one of
// them unless it runs over an earlier line through all of them.
constexpr int kColumns = 64;

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t format, std::uint32_t width,
           std::uint32_t height, std::uint32_t stride) {
          auto& watch = *static_cast<Watch*>(data);
          if (watch.buffer == nullptr) {
            const std::size_t bytes = static_cast<std::size_t>(stride) * height;
            const int fd = memfd_create("wayland-stamps", MFD_CLOEXEC);
            if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) std::exit(3);
            watch.pixels = static_cast<std::uint32_t*>(
                mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
            wl_shm_pool* pool = wl_shm_create_pool(watch.shm, fd, static_cast<std::int32_t>(bytes));
            watch.buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(width),
                                                     static_cast<std::int32_t>(height),
                                                     static_cast<std::int32_t>(stride), format);
            wl_shm_pool_destroy(pool);
            close(fd);
            watch.rows = static_cast<int>(height);
            watch.stride = static_cast<int>(stride);
          }
          if (watch.first) {
            zwlr_screencopy_frame_v1_copy(frame, watch.buffer);
          } else {
            zwlr_screencopy_frame_v1_copy_with_damage(frame, watch.buffer);
          }
        },
    .flags = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t) {},
    .ready =
        [](void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t, std::uint32_t seconds,
           std::uint32_t nanoseconds) {
          auto& watch = *static_cast<Watch*>(data);
          const long long arrived = MonotonicNs();
          const std::uint32_t centre =
              watch.pixels[static_cast<std::size_t>(watch.rows / 2) * (watch.stride / 4) +
                           kColumns / 2] &
              0xFFFFFF;
          const std::size_t words = static_cast<std::size_t>(watch.rows) * (watch.stride / 4);
          const std::vector<std::uint32_t> column(watch.pixels, watch.pixels + words);
          const bool changed = column != watch.last;
          watch.last = column;
          if (!changed) {
            // the same picture again
          } else if (watch.first) {
            std::printf("ready %06x\n", centre);
          } else {
            std::printf("%lld %lld %06x\n", arrived,
                        static_cast<long long>(seconds) * 1000 + nanoseconds / 1000000, centre);
          }
          std::fflush(stdout);
          watch.first = false;
          zwlr_screencopy_frame_v1_destroy(frame);
          Capture(watch);
        },
    .failed = [](void*, zwlr_screencopy_frame_v1*) { std::exit(3); },
    .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                       std::uint32_t) {},
    .buffer_done = [](void*, zwlr_screencopy_frame_v1*) {},
};

void Capture(Watch& watch) {
  zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output_region(
      watch.manager, 0, watch.output, watch.width / 2 - kColumns / 2, 0, kColumns, watch.height);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &watch);
}

// Connects with slash's own connection code: the globals and the outputs.
// The benchmark's compositor has one output.
int WatchOutput(slash::WaylandConnection& connection) {
  const std::optional<slash::OutputFacts> output = connection.outputs().Current({});
  Watch watch;
  watch.shm = connection.globals().shm;
  watch.manager = static_cast<zwlr_screencopy_manager_v1*>(
      connection.BindOffered(zwlr_screencopy_manager_v1_interface, 2));
  watch.output = static_cast<wl_output*>(connection.BindOffered(wl_output_interface, 2));
  if (watch.manager == nullptr || watch.output == nullptr || !output || output->mode.width <= 0) {
    return 3;
  }
  watch.width = output->mode.width;
  watch.height = output->mode.height;
  Capture(watch);
  while (wl_display_dispatch(connection.display()) >= 0) {
  }
  return 4;
}

}  // namespace

int main() {
  try {
    slash::WaylandConnection connection;
    return WatchOutput(connection);
  } catch (const std::exception&) {
    return 3;  // no compositor to watch
  }
}
