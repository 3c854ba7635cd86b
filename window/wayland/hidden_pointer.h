#pragma once

#include <cstdint>
#include <optional>

struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_seat_listener;
struct wl_pointer_listener;

namespace slash {

// A screen effect shows no pointer: the seat's pointer, while it has one,
// gets no cursor image each time it enters the window.
class HiddenPointer {
 public:
  HiddenPointer() = default;
  ~HiddenPointer();
  HiddenPointer(const HiddenPointer&) = delete;
  HiddenPointer& operator=(const HiddenPointer&) = delete;

  // The first wl_seat announced; later ones are not bound.
  void BindSeat(wl_registry& registry, std::uint32_t name);
  // Makes the requests the seat's and pointer's events asked for; true when
  // it made any.
  bool SendRequests();

 private:
  static const ::wl_seat_listener kSeatListener;
  static const ::wl_pointer_listener kPointerListener;

  wl_seat* seat_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  std::uint32_t capabilities_ = 0;
  bool capabilities_changed_ = false;
  std::optional<std::uint32_t> entered_;  // the latest enter's serial, still to answer
};

}  // namespace slash
