#include "window/recording_window.h"

#include <utility>

namespace slash {

// Each operation is logged only once the scene has accepted it, so a
// failed operation never shows in the record.

void RecordingWindow::SetHeight(std::int32_t height) {
  SceneWindow::SetHeight(height);
  records_.push_back({Operation::kSetHeight, -1, static_cast<double>(height), 0});
}

void RecordingWindow::SetWidth(std::int32_t width) {
  SceneWindow::SetWidth(width);
  records_.push_back({Operation::kSetWidth, -1, static_cast<double>(width), 0});
}

void RecordingWindow::SetTop(std::int32_t top) {
  SceneWindow::SetTop(top);
  records_.push_back({Operation::kSetTop, -1, static_cast<double>(top), 0});
}

void RecordingWindow::SetLeft(std::int32_t left) {
  SceneWindow::SetLeft(left);
  records_.push_back({Operation::kSetLeft, -1, static_cast<double>(left), 0});
}

void RecordingWindow::SetLineColor(std::int16_t line, EffectColor color) {
  SceneWindow::SetLineColor(line, color);
  records_.push_back({Operation::kSetLineColor, line, 0, color});
}

void RecordingWindow::SetLineX1(std::int16_t line, float x) {
  SceneWindow::SetLineX1(line, x);
  records_.push_back({Operation::kSetLineX1, line, x, 0});
}

void RecordingWindow::SetLineY1(std::int16_t line, float y) {
  SceneWindow::SetLineY1(line, y);
  records_.push_back({Operation::kSetLineY1, line, y, 0});
}

void RecordingWindow::SetLineX2(std::int16_t line, float x) {
  SceneWindow::SetLineX2(line, x);
  records_.push_back({Operation::kSetLineX2, line, x, 0});
}

void RecordingWindow::SetLineY2(std::int16_t line, float y) {
  SceneWindow::SetLineY2(line, y);
  records_.push_back({Operation::kSetLineY2, line, y, 0});
}

void RecordingWindow::SetBackground(EffectColor color) {
  SceneWindow::SetBackground(color);
  records_.push_back({Operation::kSetBackground, -1, 0, color});
}

std::vector<WindowRecord> RecordingWindow::TakeRecords() {
  return std::exchange(records_, {});
}

}  // namespace slash
