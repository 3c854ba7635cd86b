#include "runtime/runtime_services.h"

#include <utility>

namespace slash {

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) joined += ' ';
    joined += argument;
  }
  return joined;
}

ProcessRuntime::ProcessRuntime(std::string command_line, ScreenSource screen, NanosecondClock clock)
    : command_line_(std::move(command_line)),
      screen_(std::move(screen)),
      random_(std::move(clock)) {}

}  // namespace slash
