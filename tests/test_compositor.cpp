#include "test_compositor.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "fractional-scale-v1-server-protocol.h"
#include "viewporter-server-protocol.h"
#include "xdg-shell-server-protocol.h"

namespace slash::testing {

using Clock = std::chrono::steady_clock;

struct TestCompositor::State {
  CompositorScript script;
  CompositorRecord record;
  std::atomic<bool> stopping{false};
  wl_display* display = nullptr;
  std::uint32_t next_serial = 1;

  // The one client's objects that matter.
  wl_resource* output = nullptr;
  wl_resource* surface = nullptr;
  wl_resource* xdg_surface = nullptr;
  wl_resource* toplevel = nullptr;
  wl_resource* wm_base = nullptr;
  wl_resource* pointer = nullptr;
  wl_resource* pending_buffer = nullptr;
  std::int32_t pending_scale = 1;
  Size destination;
  int commits = 0;  // with a buffer
  bool configured = false;
  Clock::time_point shown;
  bool resized = false;
  Clock::time_point last_ping;
  Clock::time_point ping_sent;
  bool ping_out = false;

  void Configure(Size size) {
    wl_array states;
    wl_array_init(&states);
    auto* state = static_cast<std::uint32_t*>(wl_array_add(&states, sizeof(std::uint32_t)));
    *state = XDG_TOPLEVEL_STATE_FULLSCREEN;
    xdg_toplevel_send_configure(toplevel, size.width, size.height, &states);
    wl_array_release(&states);
    xdg_surface_send_configure(xdg_surface, next_serial++);
  }

  void OnCommit();
  void OnTimer();
};

namespace {

using State = TestCompositor::State;

State* Of(wl_resource* resource) {
  return static_cast<State*>(wl_resource_get_user_data(resource));
}

void Destroy(wl_client*, wl_resource* resource) {
  wl_resource_destroy(resource);
}

// The destructor of every object the state keeps: the client may go at any
// time, and the state must not point at what it took with it.
void Forget(wl_resource* resource) {
  State* state = Of(resource);
  for (wl_resource** kept : {&state->output, &state->surface, &state->xdg_surface, &state->toplevel,
                             &state->wm_base, &state->pointer}) {
    if (*kept == resource) *kept = nullptr;
  }
}

// wl_surface and wl_region ------------------------------------------------

const struct wl_region_interface kRegion = {
    .destroy = Destroy,
    .add = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .subtract = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t) {},
};

const struct wl_surface_interface kSurface = {
    .destroy = Destroy,
    .attach =
        [](wl_client*, wl_resource* resource, wl_resource* buffer, std::int32_t, std::int32_t) {
          Of(resource)->pending_buffer = buffer;
          if (buffer != nullptr) ++Of(resource)->record.attaches;
        },
    .damage = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                 std::int32_t) {},
    .frame =
        [](wl_client* client, wl_resource*, std::uint32_t id) {
          wl_resource* callback = wl_resource_create(client, &wl_callback_interface, 1, id);
          wl_callback_send_done(callback, 0);
          wl_resource_destroy(callback);
        },
    .set_opaque_region = [](wl_client*, wl_resource*, wl_resource*) {},
    .set_input_region = [](wl_client*, wl_resource*, wl_resource*) {},
    .commit = [](wl_client*, wl_resource* resource) { Of(resource)->OnCommit(); },
    .set_buffer_transform = [](wl_client*, wl_resource*, std::int32_t) {},
    .set_buffer_scale = [](wl_client*, wl_resource* resource,
                           std::int32_t scale) { Of(resource)->pending_scale = scale; },
    .damage_buffer = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                        std::int32_t) {},
    .offset = [](wl_client*, wl_resource*, std::int32_t, std::int32_t) {},
};

const struct wl_compositor_interface kCompositor = {
    .create_surface =
        [](wl_client* client, wl_resource* resource, std::uint32_t id) {
          State* state = Of(resource);
          wl_resource* surface = wl_resource_create(client, &wl_surface_interface,
                                                    wl_resource_get_version(resource), id);
          wl_resource_set_implementation(surface, &kSurface, state, Forget);
          state->surface = surface;
        },
    .create_region =
        [](wl_client* client, wl_resource* resource, std::uint32_t id) {
          wl_resource* region = wl_resource_create(client, &wl_region_interface, 1, id);
          wl_resource_set_implementation(region, &kRegion, Of(resource), nullptr);
        },
};

// xdg-shell ----------------------------------------------------------------

const struct xdg_toplevel_interface kToplevel = {
    .destroy = Destroy,
    .set_parent = [](wl_client*, wl_resource*, wl_resource*) {},
    .set_title = [](wl_client*, wl_resource*, const char*) {},
    .set_app_id = [](wl_client*, wl_resource*, const char*) {},
    .show_window_menu = [](wl_client*, wl_resource*, wl_resource*, std::uint32_t, std::int32_t,
                           std::int32_t) {},
    .move = [](wl_client*, wl_resource*, wl_resource*, std::uint32_t) {},
    .resize = [](wl_client*, wl_resource*, wl_resource*, std::uint32_t, std::uint32_t) {},
    .set_max_size = [](wl_client*, wl_resource*, std::int32_t, std::int32_t) {},
    .set_min_size = [](wl_client*, wl_resource*, std::int32_t, std::int32_t) {},
    .set_maximized = [](wl_client*, wl_resource*) {},
    .unset_maximized = [](wl_client*, wl_resource*) {},
    .set_fullscreen = [](wl_client*, wl_resource*, wl_resource*) {},
    .unset_fullscreen = [](wl_client*, wl_resource*) {},
    .set_minimized = [](wl_client*, wl_resource*) {},
};

const struct xdg_surface_interface kXdgSurface = {
    .destroy = Destroy,
    .get_toplevel =
        [](wl_client* client, wl_resource* resource, std::uint32_t id) {
          State* state = Of(resource);
          state->toplevel = wl_resource_create(client, &xdg_toplevel_interface, 1, id);
          wl_resource_set_implementation(state->toplevel, &kToplevel, state, Forget);
        },
    .get_popup = [](wl_client*, wl_resource*, std::uint32_t, wl_resource*, wl_resource*) {},
    .set_window_geometry = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                              std::int32_t) {},
    .ack_configure = [](wl_client*, wl_resource*, std::uint32_t) {},
};

const struct xdg_wm_base_interface kWmBase = {
    .destroy = Destroy,
    .create_positioner = [](wl_client*, wl_resource*, std::uint32_t) {},
    .get_xdg_surface =
        [](wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource*) {
          State* state = Of(resource);
          state->xdg_surface = wl_resource_create(client, &xdg_surface_interface, 1, id);
          wl_resource_set_implementation(state->xdg_surface, &kXdgSurface, state, Forget);
        },
    .pong =
        [](wl_client*, wl_resource* resource, std::uint32_t) {
          State* state = Of(resource);
          if (!state->ping_out) return;
          state->ping_out = false;
          ++state->record.pongs;
          const double ms =
              std::chrono::duration<double, std::milli>(Clock::now() - state->ping_sent).count();
          state->record.slowest_pong_ms = std::max(state->record.slowest_pong_ms, ms);
        },
};

// The viewporter and fractional scaling -------------------------------------

const struct wp_viewport_interface kViewport = {
    .destroy = Destroy,
    .set_source = [](wl_client*, wl_resource*, wl_fixed_t, wl_fixed_t, wl_fixed_t, wl_fixed_t) {},
    .set_destination =
        [](wl_client*, wl_resource* resource, std::int32_t width, std::int32_t height) {
          Of(resource)->destination = Size{width, height};
        },
};

const struct wp_viewporter_interface kViewporter = {
    .destroy = Destroy,
    .get_viewport =
        [](wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource*) {
          wl_resource* viewport = wl_resource_create(client, &wp_viewport_interface, 1, id);
          wl_resource_set_implementation(viewport, &kViewport, Of(resource), nullptr);
        },
};

const struct wp_fractional_scale_v1_interface kFractionalScale = {.destroy = Destroy};

const struct wp_fractional_scale_manager_v1_interface kFractionalManager = {
    .destroy = Destroy,
    .get_fractional_scale =
        [](wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource*) {
          State* state = Of(resource);
          wl_resource* scale = wl_resource_create(client, &wp_fractional_scale_v1_interface, 1, id);
          wl_resource_set_implementation(scale, &kFractionalScale, state, nullptr);
          wp_fractional_scale_v1_send_preferred_scale(scale, state->script.fractional_scale);
        },
};

// The seat's pointer ----------------------------------------------------------

const struct wl_pointer_interface kPointer = {
    .set_cursor = [](wl_client*, wl_resource* resource, std::uint32_t, wl_resource* surface,
                     std::int32_t,
                     std::int32_t) { Of(resource)->record.cursor_hidden = surface == nullptr; },
    .release = Destroy,
};

const struct wl_seat_interface kSeat = {
    .get_pointer =
        [](wl_client* client, wl_resource* resource, std::uint32_t id) {
          State* state = Of(resource);
          state->pointer = wl_resource_create(client, &wl_pointer_interface,
                                              wl_resource_get_version(resource), id);
          wl_resource_set_implementation(state->pointer, &kPointer, state, Forget);
        },
    .get_keyboard = [](wl_client*, wl_resource*, std::uint32_t) {},
    .get_touch = [](wl_client*, wl_resource*, std::uint32_t) {},
    .release = Destroy,
};

// Globals ------------------------------------------------------------------

template <const auto* Implementation>
void BindAs(wl_client* client, void* data, std::uint32_t version, std::uint32_t id,
            const wl_interface* interface, wl_resource** keep = nullptr) {
  wl_resource* resource = wl_resource_create(client, interface, static_cast<int>(version), id);
  wl_resource_set_implementation(resource, Implementation, data,
                                 keep != nullptr ? Forget : nullptr);
  if (keep != nullptr) *keep = resource;
}

void BindCompositor(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  BindAs<&kCompositor>(client, data, version, id, &wl_compositor_interface);
}

void BindWmBase(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  BindAs<&kWmBase>(client, data, version, id, &xdg_wm_base_interface,
                   &static_cast<State*>(data)->wm_base);
}

void BindViewporter(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  BindAs<&kViewporter>(client, data, version, id, &wp_viewporter_interface);
}

void BindFractional(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  BindAs<&kFractionalManager>(client, data, version, id, &wp_fractional_scale_manager_v1_interface);
}

void BindSeat(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  wl_resource* seat = nullptr;
  BindAs<&kSeat>(client, data, version, id, &wl_seat_interface, &seat);
  wl_seat_send_capabilities(seat, WL_SEAT_CAPABILITY_POINTER);
}

// A wl_shm that offers only the script's formats and takes no pool.
const struct wl_shm_interface kBareShm = {
    .create_pool =
        [](wl_client*, wl_resource* resource, std::uint32_t, std::int32_t fd, std::int32_t) {
          close(fd);
          wl_resource_post_error(resource, WL_SHM_ERROR_INVALID_FORMAT, "the test takes no pool");
        },
};

void BindBareShm(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  wl_resource* shm = wl_resource_create(client, &wl_shm_interface, static_cast<int>(version), id);
  wl_resource_set_implementation(shm, &kBareShm, data, nullptr);
  for (const std::uint32_t format : static_cast<State*>(data)->script.only_formats) {
    wl_shm_send_format(shm, format);
  }
}

void BindOutput(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  State* state = static_cast<State*>(data);
  wl_resource* output =
      wl_resource_create(client, &wl_output_interface, static_cast<int>(version), id);
  wl_resource_set_implementation(output, nullptr, state, Forget);
  state->output = output;
  wl_output_send_geometry(output, 0, 0, 300, 200, WL_OUTPUT_SUBPIXEL_UNKNOWN, "test", "test",
                          WL_OUTPUT_TRANSFORM_NORMAL);
  const Size mode = state->script.mode;
  if (mode.width != 0 || mode.height != 0) {
    wl_output_send_mode(output, WL_OUTPUT_MODE_CURRENT, mode.width, mode.height, 60000);
  }
  if (version >= 2) {
    wl_output_send_scale(output, state->script.scale);
    wl_output_send_done(output);
  }
}

}  // namespace

void State::OnCommit() {
  if (!configured && toplevel != nullptr) {
    configured = true;
    if (script.close_before_configure) {
      xdg_toplevel_send_close(toplevel);
    } else {
      Configure(script.configure);
    }
    return;
  }
  if (pending_buffer == nullptr) return;
  wl_shm_buffer* shm = wl_shm_buffer_get(pending_buffer);
  if (shm != nullptr) {
    record.buffers.push_back(Size{wl_shm_buffer_get_width(shm), wl_shm_buffer_get_height(shm)});
    record.formats.push_back(wl_shm_buffer_get_format(shm));
  }
  record.destination = destination;
  record.buffer_scale = pending_scale;
  wl_buffer_send_release(pending_buffer);
  pending_buffer = nullptr;
  if (++commits == 1) {
    shown = Clock::now();
    last_ping = shown;
    if (output != nullptr) wl_surface_send_enter(surface, output);
    if (pointer != nullptr) wl_pointer_send_enter(pointer, next_serial++, surface, 0, 0);
    for (int i = 0; i < script.burst; ++i) {
      // Sizes that differ, the last one the window's own.
      Configure(i + 1 == script.burst ? script.configure : Size{320 + i % 7, 240 + i % 5});
    }
    if (script.stall_ms > 0) {
      wl_display_flush_clients(display);
      std::this_thread::sleep_for(std::chrono::milliseconds(script.stall_ms));
    }
  }
  if (commits == script.malformed_at_commit) {
    // A header naming the surface with an opcode wl_surface has no event
    // for, written after everything queued so that no message is cut.
    wl_client* client = wl_resource_get_client(surface);
    wl_client_flush(client);
    const std::uint32_t message[2] = {wl_resource_get_id(surface), (8u << 16) | 99u};
    [[maybe_unused]] const auto written = write(wl_client_get_fd(client), message, sizeof message);
  }
  if (commits == script.error_at_commit) {
    wl_resource_post_error(surface, WL_SURFACE_ERROR_INVALID_SCALE, "the test refuses commit %d",
                           commits);
  }
}

void State::OnTimer() {
  if (commits == 0 || toplevel == nullptr) return;
  const Clock::time_point now = Clock::now();
  if (!resized && script.resize_to.width != 0 && now - shown > std::chrono::seconds(2)) {
    resized = true;
    Configure(script.resize_to);
  }
  if (script.ping && wm_base != nullptr && !ping_out &&
      now - last_ping > std::chrono::milliseconds(200)) {
    last_ping = now;
    ping_sent = now;
    ping_out = true;
    ++record.pings;
    xdg_wm_base_send_ping(wm_base, next_serial++);
  }
}

TestCompositor::TestCompositor(const CompositorScript& script) : state_(std::make_unique<State>()) {
  state_->script = script;
  char dir[] = "/tmp/slash-compositor-XXXXXX";
  if (mkdtemp(dir) == nullptr) return;
  dir_ = dir;
  const std::string path = dir_ + "/" + display();
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0) {
    close(listener);
    return;
  }
  wl_display* display = wl_display_create();
  state_->display = display;
  wl_display_add_socket_fd(display, listener);
  if (script.only_formats.empty()) {
    wl_display_init_shm(display);
    if (script.rgb565) wl_display_add_shm_format(display, WL_SHM_FORMAT_RGB565);
  } else {
    wl_global_create(display, &wl_shm_interface, 1, state_.get(), BindBareShm);
  }
  State* state = state_.get();
  wl_global_create(display, &wl_compositor_interface, 4, state, BindCompositor);
  wl_global_create(display, &xdg_wm_base_interface, 1, state, BindWmBase);
  wl_global_create(display, &wl_output_interface, 3, state, BindOutput);
  if (script.viewporter)
    wl_global_create(display, &wp_viewporter_interface, 1, state, BindViewporter);
  if (script.fractional_scale != 0) {
    wl_global_create(display, &wp_fractional_scale_manager_v1_interface, 1, state, BindFractional);
  }
  if (script.pointer) wl_global_create(display, &wl_seat_interface, 1, state, BindSeat);
  ok_ = true;
  thread_ = std::thread([state] {
    wl_event_loop* loop = wl_display_get_event_loop(state->display);
    while (!state->stopping) {
      wl_event_loop_dispatch(loop, 5);
      state->OnTimer();
      wl_display_flush_clients(state->display);
    }
  });
}

TestCompositor::~TestCompositor() {
  Stop();
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

CompositorRecord TestCompositor::Stop() {
  if (thread_.joinable()) {
    state_->stopping = true;
    thread_.join();
  }
  if (state_->display != nullptr) {
    wl_display_destroy_clients(state_->display);
    wl_display_destroy(state_->display);
    state_->display = nullptr;
  }
  return state_->record;
}

}  // namespace slash::testing
