#pragma once

#include <cstdint>
#include <vector>

#include "window/effect_scene.h"

namespace slash {

// One window operation as it was asked for.
struct WindowRecord {
  enum class Operation {
    kSetHeight,
    kSetWidth,
    kSetTop,
    kSetLeft,
    kSetLineColor,
    kSetLineX1,
    kSetLineY1,
    kSetLineX2,
    kSetLineY2,
    kSetBackground,
  };
  Operation operation;
  std::int16_t line = -1;  // for line operations
  double value = 0;        // geometry or end point
  EffectColor color = 0;   // for colour operations
};

// A window with no display: it keeps the scene and logs every operation, so
// a run can be followed and checked without a screen.
class RecordingWindow : public SceneWindow {
 public:
  using Operation = WindowRecord::Operation;

  void SetHeight(std::int32_t height) override;
  void SetWidth(std::int32_t width) override;
  void SetTop(std::int32_t top) override;
  void SetLeft(std::int32_t left) override;
  void SetLineColor(std::int16_t line, EffectColor color) override;
  void SetLineX1(std::int16_t line, float x) override;
  void SetLineY1(std::int16_t line, float y) override;
  void SetLineX2(std::int16_t line, float x) override;
  void SetLineY2(std::int16_t line, float y) override;
  void SetBackground(EffectColor color) override;

  // The operations since the last call, oldest first.
  std::vector<WindowRecord> TakeRecords();

 private:
  std::vector<WindowRecord> records_;
};

}  // namespace slash
