// slash-bench: slash itself, with one line "slash-bench EVENT INDEX NANOSECONDS"
// on stderr (monotonic clock) at the moments only the process can see: each
// tick's due time and when the loop took it, the window shown, the end.
// The benchmark reads them beside what it sees from outside.

#include <time.h>

#include <cstdio>
#include <memory>

#include "app/slash_program.h"
#include "window/window_backend.h"

namespace {

long long Nanoseconds(std::chrono::steady_clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

void Stamp(const char* event, long long index, long long ns) {
  std::fprintf(stderr, "slash-bench %s %lld %lld\n", event, index, ns);
}

// Forwards everything to the real back end and stamps on the way.
class StampingBackend : public slash::WindowBackend {
 public:
  explicit StampingBackend(std::unique_ptr<slash::WindowBackend> inner)
      : inner_(std::move(inner)) {}

  slash::PixelRect PrimaryMonitor() override { return inner_->PrimaryMonitor(); }
  void Show(const slash::EffectScene& scene) override {
    inner_->Show(scene);
    Stamp("shown", 0, Nanoseconds(Now()));
  }
  void DrawLine(const slash::EffectScene& scene, std::size_t index) override {
    inner_->DrawLine(scene, index);
  }
  void Repaint(const slash::EffectScene& scene) override { inner_->Repaint(scene); }
  bool WaitUntil(Clock::time_point due) override {
    const bool open = inner_->WaitUntil(due);
    const Clock::time_point woke = Now();
    ++waits_;
    Stamp("due", waits_, Nanoseconds(due));
    Stamp("tick", waits_, Nanoseconds(woke));
    return open;
  }
  Clock::time_point Now() const override { return inner_->Now(); }
  void Finish() override {
    inner_->Finish();
    Stamp("end", waits_, Nanoseconds(Now()));
  }

 private:
  std::unique_ptr<slash::WindowBackend> inner_;
  long long waits_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  return slash::SlashMain(argc, argv, [](std::unique_ptr<slash::WindowBackend> inner) {
    return std::make_unique<StampingBackend>(std::move(inner));
  });
}
