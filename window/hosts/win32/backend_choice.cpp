#include "window/hosts/backend_choice.h"

#include "window/win32/gdi_backend.h"

namespace slash {

// Windows has one display system: GDI draws on the desktop.
BackendKind ChooseProcessBackend() {
  return BackendKind::kGdi;
}

std::unique_ptr<WindowBackend> OpenBackend(BackendKind) {
  return OpenGdiBackend();
}

}  // namespace slash
