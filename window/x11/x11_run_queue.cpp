#include "window/x11/x11_run_queue.h"

namespace slash {
namespace {

// 8 KiB a request: far within any server's request length, and far less
// than a writable socket has room for.
constexpr std::size_t kPerBatch = 1024;

}  // namespace

void X11RunQueue::Add(EffectColor color, const std::vector<PixelRun>& runs) {
  for (const PixelRun& run : runs) {
    if (batches_.empty() || batches_.back().color != color ||
        batches_.back().rectangles.size() == kPerBatch) {
      batches_.push_back(Batch{color, {}});
    }
    const auto length = static_cast<std::uint16_t>(run.length);
    batches_.back().rectangles.push_back(
        {static_cast<std::int16_t>(run.x), static_cast<std::int16_t>(run.y),
         run.horizontal ? length : std::uint16_t{1}, run.horizontal ? std::uint16_t{1} : length});
  }
}

void X11RunQueue::Send(const std::function<bool()>& room, const Sender& send) {
  while (!batches_.empty() && room()) {
    send(batches_.front().color, batches_.front().rectangles);
    batches_.pop_front();
  }
}

}  // namespace slash
