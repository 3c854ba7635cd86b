#pragma once

namespace slash {

class WindowBackend;

// The one entry of the SDL module (slash-sdl.so): opens SDL's video on the
// session's display and returns a new back end, or raises the no-display
// failure. The caller owns the result.
using SdlBackendFactory = WindowBackend* (*)();
inline constexpr const char* kSdlBackendFactoryName = "slash_open_sdl_backend";

}  // namespace slash
