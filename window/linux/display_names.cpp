#include "window/linux/display_names.h"

namespace slash {

std::string X11DisplayName(const EnvironmentLookup& environment) {
  return environment("DISPLAY");
}

std::string WaylandDisplayName(const EnvironmentLookup& environment) {
  const std::string name = environment("WAYLAND_DISPLAY");
  return name.empty() ? "wayland-0" : name;
}

}  // namespace slash
