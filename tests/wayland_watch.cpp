#include "wayland_watch.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace slash::testing {

namespace {

// One output, the frame asked of it and the memory it is copied into.
struct WatchedOutput {
  WaylandWatch::State* owner = nullptr;
  wl_output* output = nullptr;
  zwlr_screencopy_frame_v1* frame = nullptr;
  wl_buffer* buffer = nullptr;
  void* pixels = nullptr;
  std::size_t bytes = 0;
  std::uint32_t format = 0;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool y_invert = false;
  bool ready_once = false;
  std::vector<OutputFrame> frames;
};

void RequestFrame(WatchedOutput& watched);

}  // namespace

struct WaylandWatch::State {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;
  std::uint32_t manager_version = 0;
  std::vector<std::unique_ptr<WatchedOutput>> outputs;
  bool failed = false;
  bool stopping = false;
};

namespace {

void CreateBuffer(WatchedOutput& watched, wl_shm& shm) {
  watched.bytes = static_cast<std::size_t>(watched.stride) * watched.height;
  const int fd = memfd_create("slash-watch", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(watched.bytes)) != 0) std::abort();
  watched.pixels = mmap(nullptr, watched.bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  wl_shm_pool* pool = wl_shm_create_pool(&shm, fd, static_cast<std::int32_t>(watched.bytes));
  watched.buffer = wl_shm_pool_create_buffer(pool, 0, watched.width, watched.height, watched.stride,
                                             watched.format);
  wl_shm_pool_destroy(pool);
  close(fd);
}

Screenshot TakePixels(const WatchedOutput& watched) {
  Screenshot shot;
  shot.width = watched.width;
  shot.height = watched.height;
  shot.pixels.resize(static_cast<std::size_t>(watched.width) * watched.height);
  for (int y = 0; y < watched.height; ++y) {
    const int row = watched.y_invert ? watched.height - 1 - y : y;
    const auto* source = reinterpret_cast<const std::uint32_t*>(
        static_cast<const char*>(watched.pixels) + static_cast<std::size_t>(row) * watched.stride);
    for (int x = 0; x < watched.width; ++x) {
      const std::uint32_t p = source[x];  // 0xAARRGGBB in memory order B, G, R, A
      shot.pixels[static_cast<std::size_t>(y) * watched.width + x] =
          ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
    }
  }
  return shot;
}

void Copy(WatchedOutput& watched, bool with_damage) {
  if (watched.buffer == nullptr) CreateBuffer(watched, *watched.owner->shm);
  if (with_damage) {
    zwlr_screencopy_frame_v1_copy_with_damage(watched.frame, watched.buffer);
  } else {
    zwlr_screencopy_frame_v1_copy(watched.frame, watched.buffer);
  }
}

// Whether the frame in flight copies with damage: only the first does not.
bool WithDamage(const WatchedOutput& watched) {
  return watched.ready_once;
}

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
           std::uint32_t height, std::uint32_t stride) {
          auto& watched = *static_cast<WatchedOutput*>(data);
          watched.format = format;
          watched.width = static_cast<int>(width);
          watched.height = static_cast<int>(height);
          watched.stride = static_cast<int>(stride);
          if (watched.owner->manager_version < 3) Copy(watched, WithDamage(watched));
        },
    .flags =
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
          static_cast<WatchedOutput*>(data)->y_invert =
              (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
    .ready =
        [](void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t, std::uint32_t,
           std::uint32_t) {
          auto& watched = *static_cast<WatchedOutput*>(data);
          OutputFrame taken{std::chrono::steady_clock::now(), TakePixels(watched)};
          if (watched.frames.empty() || watched.frames.back().shot.pixels != taken.shot.pixels) {
            watched.frames.push_back(std::move(taken));
          }
          watched.ready_once = true;
          zwlr_screencopy_frame_v1_destroy(frame);
          watched.frame = nullptr;
          if (!watched.owner->stopping) RequestFrame(watched);
        },
    .failed =
        [](void* data, zwlr_screencopy_frame_v1* frame) {
          auto& watched = *static_cast<WatchedOutput*>(data);
          watched.owner->failed = true;
          zwlr_screencopy_frame_v1_destroy(frame);
          watched.frame = nullptr;
        },
    .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                       std::uint32_t) {},
    .buffer_done =
        [](void* data, zwlr_screencopy_frame_v1*) {
          auto& watched = *static_cast<WatchedOutput*>(data);
          Copy(watched, WithDamage(watched));
        },
};

void RequestFrame(WatchedOutput& watched) {
  watched.frame =
      zwlr_screencopy_manager_v1_capture_output(watched.owner->manager, 0, watched.output);
  zwlr_screencopy_frame_v1_add_listener(watched.frame, &kFrameListener, &watched);
}

const wl_registry_listener kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          auto& state = *static_cast<WaylandWatch::State*>(data);
          const std::string which = interface;
          if (which == wl_shm_interface.name) {
            state.shm =
                static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
          } else if (which == zwlr_screencopy_manager_v1_interface.name) {
            state.manager_version = std::min(version, 3u);
            state.manager = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
                registry, name, &zwlr_screencopy_manager_v1_interface, state.manager_version));
          } else if (which == wl_output_interface.name) {
            auto watched = std::make_unique<WatchedOutput>();
            watched->owner = &state;
            watched->output =
                static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
            state.outputs.push_back(std::move(watched));
          }
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

}  // namespace

WaylandWatch::WaylandWatch(const std::string& runtime_dir, const std::string& display)
    : state_(std::make_unique<State>()) {
  state_->display = wl_display_connect((runtime_dir + "/" + display).c_str());
}

WaylandWatch::~WaylandWatch() {
  if (thread_.joinable()) Stop();
  if (state_->display == nullptr) return;
  for (const auto& watched : state_->outputs) {
    if (watched->frame != nullptr) zwlr_screencopy_frame_v1_destroy(watched->frame);
    if (watched->buffer != nullptr) wl_buffer_destroy(watched->buffer);
    if (watched->pixels != nullptr) munmap(watched->pixels, watched->bytes);
    wl_output_destroy(watched->output);
  }
  if (state_->manager != nullptr) zwlr_screencopy_manager_v1_destroy(state_->manager);
  if (state_->shm != nullptr) wl_shm_destroy(state_->shm);
  if (state_->registry != nullptr) wl_registry_destroy(state_->registry);
  wl_display_disconnect(state_->display);
}

bool WaylandWatch::Start() {
  State& state = *state_;
  if (state.display == nullptr) return false;
  state.registry = wl_display_get_registry(state.display);
  wl_registry_add_listener(state.registry, &kRegistryListener, &state);
  if (wl_display_roundtrip(state.display) < 0) return false;
  if (state.manager == nullptr || state.shm == nullptr || state.outputs.empty()) return false;
  // The first copy of each output is plain (its picture now); each later
  // one waits for a change.
  for (const auto& watched : state.outputs) RequestFrame(*watched);
  for (;;) {
    bool all = true;
    for (const auto& watched : state.outputs) all = all && watched->ready_once;
    if (all) break;
    if (state.failed || wl_display_dispatch(state.display) < 0) return false;
  }
  if (wl_display_flush(state.display) < 0) return false;
  thread_ = std::thread([this] {
    State& watched = *state_;
    while (!stopping_) {
      while (wl_display_prepare_read(watched.display) != 0) {
        wl_display_dispatch_pending(watched.display);
      }
      wl_display_flush(watched.display);
      pollfd socket{wl_display_get_fd(watched.display), POLLIN, 0};
      if (poll(&socket, 1, 20) > 0) {
        if (wl_display_read_events(watched.display) < 0) return;
      } else {
        wl_display_cancel_read(watched.display);
      }
      if (wl_display_dispatch_pending(watched.display) < 0) return;
    }
  });
  return true;
}

std::vector<std::vector<OutputFrame>> WaylandWatch::Stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  state_->stopping = true;
  std::vector<std::vector<OutputFrame>> frames;
  for (const auto& watched : state_->outputs) frames.push_back(std::move(watched->frames));
  return frames;
}

}  // namespace slash::testing
