#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "effect/effect_params.h"
#include "window/line_raster.h"

namespace slash {

// Filled runs waiting for room on the socket. A line past what requests
// can address is drawn as thousands of rectangles, and xcb writes a request
// it cannot buffer at once, waiting on the socket if it must; so they go
// out a batch at a time, each only while the socket has room, and what is
// left waits with the tick's due time like any other output.
class X11RunQueue {
 public:
  // Sends one batch of rectangles of one colour.
  using Sender = std::function<void(EffectColor, const std::vector<xcb_rectangle_t>&)>;

  void Add(EffectColor color, const std::vector<PixelRun>& runs);
  bool empty() const { return batches_.empty(); }
  void Clear() { batches_.clear(); }
  // Sends batches, oldest first, while `room` says the socket has room.
  void Send(const std::function<bool()>& room, const Sender& send);

 private:
  struct Batch {
    EffectColor color = kBlack;
    std::vector<xcb_rectangle_t> rectangles;
  };
  std::deque<Batch> batches_;
};

}  // namespace slash
