#include "window/effect_scene.h"

#include <cmath>
#include <string>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

using Operation = WindowRecord::Operation;

std::int32_t CheckedSize(std::int32_t size, const char* what) {
  if (size < 0) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       std::string("invalid window ") + what + " " + std::to_string(size));
  }
  return size;
}

}  // namespace

void SceneWindow::SetHeight(std::int32_t height) {
  scene_.height = CheckedSize(height, "height");
  OnApplied({Operation::kSetHeight, -1, static_cast<double>(height), 0});
}

void SceneWindow::SetWidth(std::int32_t width) {
  scene_.width = CheckedSize(width, "width");
  OnApplied({Operation::kSetWidth, -1, static_cast<double>(width), 0});
}

void SceneWindow::SetTop(std::int32_t top) {
  scene_.top = top;
  OnApplied({Operation::kSetTop, -1, static_cast<double>(top), 0});
}

void SceneWindow::SetLeft(std::int32_t left) {
  scene_.left = left;
  OnApplied({Operation::kSetLeft, -1, static_cast<double>(left), 0});
}

SlashLine& SceneWindow::Line(std::int16_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kLineCount) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure,
                       "there is no line " + std::to_string(index));
  }
  return scene_.Lz[static_cast<std::size_t>(index)];
}

void SceneWindow::SetLineColor(std::int16_t line, EffectColor color) {
  Line(line).color = color & 0xFFFFFF;
  OnApplied({Operation::kSetLineColor, line, 0, color});
}

void SceneWindow::PlaceEnd(Operation operation, std::int16_t line, float SlashLine::*end,
                           float value) {
  if (!std::isfinite(value)) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure, "a line end point is not a number");
  }
  SlashLine& target = Line(line);
  target.*end = value;
  target.placed = true;
  OnApplied({operation, line, value, 0});
}

void SceneWindow::SetLineX1(std::int16_t line, float x) {
  PlaceEnd(Operation::kSetLineX1, line, &SlashLine::x1, x);
}
void SceneWindow::SetLineY1(std::int16_t line, float y) {
  PlaceEnd(Operation::kSetLineY1, line, &SlashLine::y1, y);
}
void SceneWindow::SetLineX2(std::int16_t line, float x) {
  PlaceEnd(Operation::kSetLineX2, line, &SlashLine::x2, x);
}
void SceneWindow::SetLineY2(std::int16_t line, float y) {
  PlaceEnd(Operation::kSetLineY2, line, &SlashLine::y2, y);
}

void SceneWindow::SetBackground(EffectColor color) {
  scene_.background = color & 0xFFFFFF;
  OnApplied({Operation::kSetBackground, -1, 0, color});
}

}  // namespace slash
