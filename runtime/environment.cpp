#include "runtime/environment.h"

#include <cstdlib>

namespace slash {

std::string ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace slash
