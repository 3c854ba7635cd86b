#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <vector>

#include "runtime/screen_size.h"
#include "window/wayland/surface_layout.h"

struct wl_output;
struct wl_registry;
struct wl_output_listener;

namespace slash {

// The monitors the compositor announces, each a wl_output whose user data
// is its entry here, and which of them the window's surface is on.
class WaylandOutputs {
 public:
  WaylandOutputs() = default;
  ~WaylandOutputs();
  WaylandOutputs(const WaylandOutputs&) = delete;
  WaylandOutputs& operator=(const WaylandOutputs&) = delete;

  // A wl_output global was announced, or removed.
  void Add(wl_registry& registry, std::uint32_t name, std::uint32_t version);
  void Remove(std::uint32_t name);
  // The surface entered or left `output`.
  void SurfaceOn(wl_output* output, bool entered);

  // The facts of the output that decides the window's pictures (see
  // SurfaceOutput), given the size the window was configured to.
  std::optional<OutputFacts> Current(ScreenSize configured) const;
  // The most pixels a picture may have (see ScreenLimit).
  std::optional<ScreenSize> Limit() const;
  // Whether anything changed since the last call.
  bool TakeChanged();

 private:
  struct Output {
    WaylandOutputs* owner = nullptr;
    wl_output* proxy = nullptr;
    std::uint32_t name = 0;  // its registry name
    OutputState state;
  };
  std::vector<OutputState> States() const;
  static const ::wl_output_listener kListener;

  std::list<Output> outputs_;  // a list: each entry's address is its proxy's user data
  bool changed_ = false;
};

}  // namespace slash
