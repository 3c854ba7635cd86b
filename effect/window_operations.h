#pragma once

#include <cstdint>

#include "effect/effect_params.h"

namespace slash {

// The window as the effect sees it: its geometry, its line array and its
// background. Geometry is in the window's unit; line end points are single
// precision. An operation that cannot be carried out raises the property
// failure.
class WindowOperations {
 public:
  virtual ~WindowOperations() = default;

  virtual void SetHeight(std::int32_t height) = 0;
  virtual void SetWidth(std::int32_t width) = 0;
  virtual void SetTop(std::int32_t top) = 0;
  virtual void SetLeft(std::int32_t left) = 0;

  // The window's outer size as it is now.
  virtual std::int32_t Width() const = 0;
  virtual std::int32_t Height() const = 0;

  virtual void SetLineColor(std::int16_t line, EffectColor color) = 0;
  virtual void SetLineX1(std::int16_t line, float x) = 0;
  virtual void SetLineY1(std::int16_t line, float y) = 0;
  virtual void SetLineX2(std::int16_t line, float x) = 0;
  virtual void SetLineY2(std::int16_t line, float y) = 0;

  virtual void SetBackground(EffectColor color) = 0;
};

}  // namespace slash
