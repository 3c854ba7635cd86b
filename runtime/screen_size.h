#pragma once

#include <cstdint>

namespace slash {

// A size in the window's geometry unit (pixels on this platform).
struct ScreenSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const ScreenSize&) const = default;
};

}  // namespace slash
