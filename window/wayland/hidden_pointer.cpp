#include "window/wayland/hidden_pointer.h"

#include <wayland-client.h>

namespace slash {

const wl_seat_listener HiddenPointer::kSeatListener = {
    .capabilities =
        [](void* data, wl_seat*, std::uint32_t capabilities) {
          auto* self = static_cast<HiddenPointer*>(data);
          self->capabilities_ = capabilities;
          self->capabilities_changed_ = true;
        },
    .name = [](void*, wl_seat*, const char*) {},
};

const wl_pointer_listener HiddenPointer::kPointerListener = {
    .enter = [](void* data, wl_pointer*, std::uint32_t serial, wl_surface*, wl_fixed_t,
                wl_fixed_t) { static_cast<HiddenPointer*>(data)->entered_ = serial; },
    .leave = [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},
    .motion = [](void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {},
    .button = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

HiddenPointer::~HiddenPointer() {
  if (pointer_ != nullptr) wl_pointer_destroy(pointer_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
}

void HiddenPointer::BindSeat(wl_registry& registry, std::uint32_t name) {
  if (seat_ != nullptr) return;
  // Version 1 is enough to hide the pointer, and its pointer sends the
  // fewest events.
  seat_ = static_cast<wl_seat*>(wl_registry_bind(&registry, name, &wl_seat_interface, 1));
  wl_seat_add_listener(seat_, &kSeatListener, this);
}

bool HiddenPointer::SendRequests() {
  bool sent = false;
  if (capabilities_changed_) {
    capabilities_changed_ = false;
    const bool has_pointer = (capabilities_ & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (has_pointer && pointer_ == nullptr) {
      pointer_ = wl_seat_get_pointer(seat_);
      wl_pointer_add_listener(pointer_, &kPointerListener, this);
      sent = true;
    } else if (!has_pointer && pointer_ != nullptr) {
      wl_pointer_destroy(pointer_);
      pointer_ = nullptr;
      sent = true;
    }
  }
  if (entered_ && pointer_ != nullptr) {
    wl_pointer_set_cursor(pointer_, *entered_, nullptr, 0, 0);
    sent = true;
  }
  entered_.reset();
  return sent;
}

}  // namespace slash
