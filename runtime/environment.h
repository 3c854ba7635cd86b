#pragma once

#include <functional>
#include <string>

namespace slash {

// An environment variable's value, "" when it is unset; tests pass a table
// of their own instead of the process's.
using EnvironmentLookup = std::function<std::string(const char* name)>;
std::string ProcessEnvironment(const char* name);

}  // namespace slash
