#include "window/terminal/terminal_backend.h"

#include <string>

#include "window/linux/display_wait.h"
#include "window/linux/tick_timer.h"
#include "window/terminal/terminal_codes.h"
#include "window/terminal/terminal_device.h"
#include "window/terminal/terminal_picture.h"

namespace slash {
namespace {

// The terminal keeps a model of what it was sent (`shown_`) and of what it
// should show (`wanted_`). Only the difference is sent, and only once the
// terminal has taken all it was sent before, so a slow link or a reader
// that stops never queues more than one difference and never holds up a
// tick: the next difference simply carries more.
class TerminalBackend : public WindowBackend {
 public:
  TerminalBackend()
      : codes_(ReadTerminalCodes(device_.fd(), ProcessEnvironment)),
        pixels_per_cell_(codes_.encoding.blocks ? 2 : 1),
        cells_(device_.CellSize()) {}

  PixelRect PrimaryMonitor() override {
    return PixelRect{0, 0, cells_.width, cells_.height * pixels_per_cell_};
  }
  void Show(const EffectScene& scene) override;
  void DrawLine(const EffectScene& scene, std::size_t /*index*/) override { Want(scene); }
  void Repaint(const EffectScene& scene) override { Want(scene); }
  bool WaitUntil(Clock::time_point due) override;
  std::optional<ScreenSize> ReportedSize() const override { return reported_size_; }
  void Finish() override { Send(); }

 private:
  void Want(const EffectScene& scene);
  void Send();
  bool Sending() const { return unsent_ < pending_.size() || shown_ != wanted_; }
  // The screen is to be sent whole: its content is not known (a resize, a
  // stop), and what was still unsent is dropped.
  void Forget();
  void FollowResize();

  TerminalDevice device_;
  TerminalCodes codes_;
  int pixels_per_cell_;
  ScreenSize cells_;
  TickTimer timer_;
  const EffectScene* scene_ = nullptr;
  CellPicture shown_;       // what the terminal was sent
  CellPicture wanted_;      // what it should show
  std::string pending_;     // bytes sent in part
  std::size_t unsent_ = 0;  // where in pending_ the terminal stopped taking them
  std::optional<ScreenSize> reported_size_;
};

void TerminalBackend::Show(const EffectScene& scene) {
  device_.Enter(codes_.enter, codes_.leave);
  pending_ = codes_.enter;
  unsent_ = 0;
  Want(scene);
}

void TerminalBackend::Want(const EffectScene& scene) {
  scene_ = &scene;
  wanted_.Paint(scene, cells_.width, cells_.height, pixels_per_cell_);
  Send();
}

void TerminalBackend::Send() {
  for (;;) {
    unsent_ += device_.WriteSome(std::string_view(pending_).substr(unsent_));
    if (unsent_ < pending_.size() || shown_ == wanted_) return;
    pending_ = EncodeChanges(shown_, wanted_, codes_.encoding);
    unsent_ = 0;
    shown_ = wanted_;  // a copy into the storage it already has
  }
}

void TerminalBackend::Forget() {
  pending_.clear();
  unsent_ = 0;
  shown_ = CellPicture{};
}

void TerminalBackend::FollowResize() {
  const ScreenSize cells = device_.CellSize();
  if (cells == cells_) return;
  // A terminal resized has redrawn or cut its screen in its own way.
  cells_ = cells;
  reported_size_ = ScreenSize{cells.width, cells.height * pixels_per_cell_};
  Forget();
  if (scene_ != nullptr) Want(*scene_);
}

bool TerminalBackend::WaitUntil(Clock::time_point due) {
  for (;;) {
    if (TerminalDevice::TakeContinued()) Forget();
    if (TerminalDevice::TakeResized()) FollowResize();
    Send();
    if (Clock::now() >= due) return true;
    const DisplayWake wake = WaitForDisplay(device_.fd(), Sending(), timer_, due);
    if (wake.readable) device_.DiscardInput();
  }
}

}  // namespace

std::unique_ptr<WindowBackend> OpenTerminalBackend() {
  return std::make_unique<TerminalBackend>();
}

}  // namespace slash
