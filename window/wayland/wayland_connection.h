#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "window/wayland/hidden_pointer.h"
#include "window/wayland/wayland_outputs.h"

struct wl_compositor;
struct wl_display;
struct wl_registry;
struct wl_shm;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;
struct xdg_wm_base;
struct wl_registry_listener;
struct wl_interface;
struct wl_shm_listener;
struct xdg_wm_base_listener;

namespace slash {

class TickTimer;

// The globals a window needs, as the compositor offered them.
struct WaylandGlobals {
  wl_compositor* compositor = nullptr;
  std::uint32_t compositor_version = 0;
  wl_shm* shm = nullptr;
  std::vector<std::uint32_t> shm_formats;  // the formats its shared memory takes
  bool Takes(std::uint32_t shm_format) const;
  xdg_wm_base* wm_base = nullptr;
  wp_viewporter* viewporter = nullptr;                           // optional
  wp_fractional_scale_manager_v1* fractional_manager = nullptr;  // optional
};

// The connection to the compositor that WAYLAND_DISPLAY names: its
// globals, its outputs, the seat's pointer and the answers to its pings,
// and the socket, which is written only when it takes everything at once.
// Event handlers only record; requests are made when the socket is idle,
// so that libwayland never finds its own queue full and a compositor that
// reads slowly is waited for, not mistaken for a lost one.
class WaylandConnection {
 public:
  // Connects and binds the globals. Raises the no-display failure, naming
  // the display, when there is none, or it lacks what a window needs.
  WaylandConnection();
  ~WaylandConnection();
  WaylandConnection(const WaylandConnection&) = delete;
  WaylandConnection& operator=(const WaylandConnection&) = delete;

  wl_display* display() const { return display_; }
  const WaylandGlobals& globals() const { return globals_; }
  WaylandOutputs& outputs() { return outputs_; }
  // A proxy of its own for the first global of `interface` the compositor
  // offers at `version` or later, for a client that needs more than a
  // window does (the benchmark's screen copy); nullptr when there is none.
  void* BindOffered(const wl_interface& interface, std::uint32_t version);

  // During set-up: reads and handles the next events, or raises the
  // no-display failure with the library's reason.
  void DispatchForSetup();
  [[noreturn]] void FailSetup(const std::string& why) const;

  // Requests were made: the socket has something to take.
  void MarkQueued() { queued_ = true; }
  // Hands the socket what it takes without waiting; true when it has taken
  // every request made so far.
  bool SendQueued();
  bool queued() const { return queued_; }
  // Answers the latest ping and hides the pointer, once the socket is idle.
  void SendOwnReplies();

  // Handles the events already read; raises when the connection broke.
  void DispatchPending();
  // Waits until the socket has something to read, room for what is queued,
  // or `due` comes on `timer`; reads what came.
  void AwaitEvents(TickTimer& timer, std::chrono::steady_clock::time_point due);
  // Raises the display-lost failure with the compositor's own error, when
  // it sent one, or the library's reason.
  void ThrowIfBroken() const;
  [[noreturn]] void ReportLost(int write_error);

 private:
  void Connect();
  void BindGlobals();
  void ReleaseGlobals();
  void CheckFormats() const;
  void OnGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                std::uint32_t version);
  static const ::wl_registry_listener kRegistryListener;
  static const ::wl_shm_listener kShmListener;
  static const ::xdg_wm_base_listener kWmBaseListener;

  // Declared first, so that it goes last: every proxy before the connection.
  struct Disconnect {
    void operator()(wl_display* display) const;
  };
  std::unique_ptr<wl_display, Disconnect> connection_;
  wl_display* display_ = nullptr;  // connection_'s
  wl_registry* registry_ = nullptr;
  struct OfferedGlobal {
    std::uint32_t name = 0;
    std::string interface;
    std::uint32_t version = 0;
  };
  std::vector<OfferedGlobal> offered_;  // every global announced, in order
  WaylandGlobals globals_;
  WaylandOutputs outputs_;
  HiddenPointer pointer_;
  std::optional<std::uint32_t> ping_;  // the latest ping's serial, still to answer
  bool queued_ = false;                // requests the socket has not taken yet
};

}  // namespace slash
