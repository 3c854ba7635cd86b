#pragma once

#include <vector>

#include "window/effect_scene.h"

namespace slash {

// A window with no display: it keeps the scene and logs every operation, so
// a run can be followed and checked without a screen.
class RecordingWindow : public SceneWindow {
 public:
  using Operation = WindowRecord::Operation;

  // The operations since the last call, oldest first.
  std::vector<WindowRecord> TakeRecords();

 protected:
  void OnApplied(const WindowRecord& record) override { records_.push_back(record); }

 private:
  std::vector<WindowRecord> records_;
};

}  // namespace slash
