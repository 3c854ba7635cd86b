#include "recording_window.h"

#include <utility>

namespace slash {

std::vector<WindowRecord> RecordingWindow::TakeRecords() {
  return std::exchange(records_, {});
}

}  // namespace slash
