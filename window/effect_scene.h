#pragma once

#include <array>
#include <cstdint>

#include "effect/effect_params.h"
#include "effect/window_operations.h"

namespace slash {

// One member of the line array.
struct SlashLine {
  // Created as a degenerate segment at the origin, one twip long
  // (a fifteenth of a pixel), in black.
  float x1 = 0.0f;
  float y1 = 0.0f;
  float x2 = 1.0f / 15.0f;
  float y2 = 0.0f;
  EffectColor color = kBlack;
  // Set once an end point has been written. Lines never placed are not
  // drawn, so the flood leaves the screen one uniform colour.
  bool placed = false;
};

constexpr std::size_t kLineCount = 100;

// Everything the window shows: its geometry, background and lines.
struct EffectScene {
  // The design size of the window, 4680 x 3195 twips.
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 312;
  std::int32_t height = 213;
  EffectColor background = kBlack;
  std::array<SlashLine, kLineCount> Lz{};  // the line array, indices 0 to 99
};

// One window operation as it was carried out.
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

// The window operations carried out on a scene. Hosts derive from it to
// follow the changes: a display redraws, a recorder logs.
class SceneWindow : public WindowOperations {
 public:
  void SetHeight(std::int32_t height) override;
  void SetWidth(std::int32_t width) override;
  void SetTop(std::int32_t top) override;
  void SetLeft(std::int32_t left) override;
  std::int32_t Width() const override { return scene_.width; }
  std::int32_t Height() const override { return scene_.height; }
  void SetLineColor(std::int16_t line, EffectColor color) override;
  void SetLineX1(std::int16_t line, float x) override;
  void SetLineY1(std::int16_t line, float y) override;
  void SetLineX2(std::int16_t line, float x) override;
  void SetLineY2(std::int16_t line, float y) override;
  void SetBackground(EffectColor color) override;

  const EffectScene& scene() const { return scene_; }

 protected:
  // Called after every operation the scene accepted, with the scene
  // already updated. A failed operation raises and is never reported here.
  virtual void OnApplied(const WindowRecord& /*record*/) {}
  // The window was resized from outside (the display reported it): later
  // reads of W and H give the new size. No operation, so nothing to report.
  void FollowSize(std::int32_t width, std::int32_t height) {
    scene_.width = width;
    scene_.height = height;
  }

 private:
  SlashLine& Line(std::int16_t index);
  void PlaceEnd(WindowRecord::Operation operation, std::int16_t line, float SlashLine::*end,
                float value);

  EffectScene scene_;
};

}  // namespace slash
