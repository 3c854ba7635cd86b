#include "window/wayland/wayland_outputs.h"

#include <wayland-client.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace slash {

// Each event records its fact on the output it is about, its user data.
const wl_output_listener WaylandOutputs::kListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
          auto* output = static_cast<Output*>(data);
          output->state.facts.transform = transform;
          output->owner->changed_ = true;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
          auto* output = static_cast<Output*>(data);
          if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) output->state.facts.mode = {width, height};
          output->owner->changed_ = true;
        },
    .done = [](void* data, wl_output*) { static_cast<Output*>(data)->owner->changed_ = true; },
    .scale =
        [](void* data, wl_output*, std::int32_t factor) {
          auto* output = static_cast<Output*>(data);
          output->state.facts.scale = std::max(1, factor);
          output->owner->changed_ = true;
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

WaylandOutputs::~WaylandOutputs() {
  for (const Output& output : outputs_) wl_output_destroy(output.proxy);
}

void WaylandOutputs::Add(wl_registry& registry, std::uint32_t name, std::uint32_t version) {
  Output& output = outputs_.emplace_back();
  output.owner = this;
  output.name = name;
  // Version 4 adds only names; what slash reads is in version 2.
  output.proxy = static_cast<wl_output*>(
      wl_registry_bind(&registry, name, &wl_output_interface, std::min(version, 4u)));
  wl_output_add_listener(output.proxy, &kListener, &output);
  changed_ = true;
}

void WaylandOutputs::Remove(std::uint32_t name) {
  const auto gone = std::find_if(outputs_.begin(), outputs_.end(),
                                 [name](const Output& output) { return output.name == name; });
  if (gone == outputs_.end()) return;
  wl_output_destroy(gone->proxy);
  outputs_.erase(gone);
  changed_ = true;
}

void WaylandOutputs::SurfaceOn(wl_output* proxy, bool entered) {
  for (Output& output : outputs_) {
    if (output.proxy == proxy) output.state.entered = entered;
  }
  changed_ = true;
}

std::vector<OutputState> WaylandOutputs::States() const {
  std::vector<OutputState> states;
  states.reserve(outputs_.size());
  for (const Output& output : outputs_) states.push_back(output.state);
  return states;
}

std::optional<ScreenSize> WaylandOutputs::Limit() const {
  return ScreenLimit(States());
}

std::optional<OutputFacts> WaylandOutputs::Current(ScreenSize configured) const {
  const std::vector<OutputState> states = States();
  const OutputFacts* current = SurfaceOutput(states, configured);
  if (current == nullptr) return std::nullopt;
  return *current;
}

bool WaylandOutputs::TakeChanged() {
  return std::exchange(changed_, false);
}

}  // namespace slash
