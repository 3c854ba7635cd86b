#include "window/backend_choice.h"

#include <cstdlib>

#include "window/win32/gdi_backend.h"

namespace slash {

std::string ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Windows has one display system: GDI draws on the desktop.
BackendKind ChooseProcessBackend() {
  return BackendKind::kGdi;
}

std::unique_ptr<WindowBackend> OpenBackend(BackendKind) {
  return OpenGdiBackend();
}

}  // namespace slash
