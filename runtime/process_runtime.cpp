#include "runtime/process_runtime.h"

#include <utility>

namespace slash {

ProcessRuntime::ProcessRuntime(std::string command_line, ScreenSource screen, NanosecondClock clock)
    : command_line_(std::move(command_line)),
      screen_(std::move(screen)),
      random_(std::move(clock)) {}

}  // namespace slash
