#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/runtime_services.h"
#include "trace/frame_writer.h"
#include "window/effect_scene.h"
#include "window/window_backend.h"

namespace slash {

// The window's host for slash-trace: no display. It logs the operations of
// each step and hands one JSON line per step to `print`, and with a frames
// directory also draws each step offscreen to a PNG file. Ticks run at once
// on a clock of its own, or paced at the real 125 ms with `realtime`.
class TraceBackend : public WindowBackend {
 public:
  using Printer = std::function<void(const std::string& line)>;

  TraceBackend(ScreenSize screen, bool realtime, std::optional<std::string> frames_directory,
               Printer print);

  PixelRect PrimaryMonitor() override { return {0, 0, screen_.width, screen_.height}; }
  void Show(const EffectScene&) override {}
  void DrawLine(const EffectScene&, std::size_t) override {}
  void Repaint(const EffectScene&) override {}
  bool WaitUntil(Clock::time_point due) override;
  Clock::time_point Now() const override;

  void Applied(const EffectScene& scene, const WindowRecord& record) override;
  void Stepped(const EffectStep& step) override;

 private:
  ScreenSize screen_;
  bool realtime_;
  std::optional<std::string> frames_directory_;
  std::optional<FrameWriter> frames_;
  Printer print_;
  std::vector<WindowRecord> records_;  // since the last step
  const EffectScene* scene_ = nullptr;
  Clock::time_point virtual_now_{};
};

}  // namespace slash
