#include "window/backend_choice.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "runtime/runtime_error.h"
#include "window/sdl/sdl_module.h"
#include "window/x11/x11_backend.h"

namespace slash {
namespace {

// The SDL module beside the program (a build tree), or where the install
// rules put it, relative to the program.
constexpr const char* kModuleDirectories[] = {"", "/..", "/../lib/slash/backends"};
constexpr const char* kModuleName = "/slash-sdl.so";

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/'));
}

std::unique_ptr<WindowBackend> OpenSdlModule() {
  const std::string directory = ProgramDirectory();
  std::string tried;
  for (const char* relative : kModuleDirectories) {
    const std::string path = directory + relative + kModuleName;
    if (access(path.c_str(), R_OK) != 0) continue;
    // The module stays loaded until the process ends.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      throw RuntimeError::HostFailure(std::string("cannot load the SDL back end: ") + dlerror(),
                                      kNoDisplayStatus);
    }
    auto* create = reinterpret_cast<SdlBackendFactory>(dlsym(module, kSdlBackendFactoryName));
    if (create == nullptr) {
      throw RuntimeError::HostFailure("cannot load the SDL back end: " + path + " is not one",
                                      kNoDisplayStatus);
    }
    return std::unique_ptr<WindowBackend>(create());
  }
  throw RuntimeError::HostFailure("cannot find the SDL back end (slash-sdl.so) beside " + directory,
                                  kNoDisplayStatus);
}

}  // namespace

std::string ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

BackendKind ChooseBackend(const EnvironmentLookup& environment) {
  const std::string chosen = environment("SLASH_BACKEND");
  if (chosen == "x11") return BackendKind::kX11;
  if (chosen == "sdl") return BackendKind::kSdl;
  if (!chosen.empty()) {
    throw RuntimeError::HostFailure(
        "unknown back end \"" + chosen + "\" in SLASH_BACKEND (x11 or sdl)", kNoDisplayStatus);
  }
  if (!environment("DISPLAY").empty()) return BackendKind::kX11;
  if (!environment("WAYLAND_DISPLAY").empty() || !environment("SDL_VIDEODRIVER").empty()) {
    return BackendKind::kSdl;
  }
  throw RuntimeError::HostFailure(
      "no display to show the effect on (neither DISPLAY nor WAYLAND_DISPLAY is set)",
      kNoDisplayStatus);
}

std::unique_ptr<WindowBackend> OpenBackend(BackendKind kind) {
  if (kind == BackendKind::kX11) return OpenX11Backend();
  return OpenSdlModule();
}

}  // namespace slash
