#include "window/wayland/wayland_connection.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "fractional-scale-v1-client-protocol.h"
#include "runtime/runtime_error.h"
#include "viewporter-client-protocol.h"
#include "window/linux/display_names.h"
#include "window/linux/display_wait.h"
#include "window/wayland/wayland_socket.h"
#include "xdg-shell-client-protocol.h"

namespace slash {
namespace {

// libwayland prints its own complaints on stderr; the program reports one
// line of its own instead, so they are kept here for that line.
std::string& LibraryComplaint() {
  static std::string complaint;
  return complaint;
}

void KeepComplaint(const char* format, va_list arguments) {
  char text[256];
  std::vsnprintf(text, sizeof text, format, arguments);
  std::string& complaint = LibraryComplaint();
  complaint = text;
  while (!complaint.empty() && complaint.back() == '\n') complaint.pop_back();
}

// The library's own words for what broke, else the system's.
std::string BrokenReason(int error) {
  return LibraryComplaint().empty() ? std::strerror(error) : LibraryComplaint();
}

// A wl_shm format as its name: the two the protocol numbers itself, else
// its four characters.
std::string FormatName(std::uint32_t format) {
  if (format == WL_SHM_FORMAT_ARGB8888) return "ARGB8888";
  if (format == WL_SHM_FORMAT_XRGB8888) return "XRGB8888";
  std::string name;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((format >> shift) & 0xFF);
    name += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return name;
}

}  // namespace

bool WaylandGlobals::Takes(std::uint32_t shm_format) const {
  return std::find(shm_formats.begin(), shm_formats.end(), shm_format) != shm_formats.end();
}

namespace {

template <typename Proxy>
Proxy* Bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
            std::uint32_t version) {
  return static_cast<Proxy*>(wl_registry_bind(registry, name, &interface, version));
}

}  // namespace

const wl_registry_listener WaylandConnection::kRegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          static_cast<WaylandConnection*>(data)->OnGlobal(registry, name, interface, version);
        },
    .global_remove =
        [](void* data, wl_registry*, std::uint32_t name) {
          auto* connection = static_cast<WaylandConnection*>(data);
          connection->outputs_.Remove(name);
          std::erase_if(connection->offered_,
                        [name](const OfferedGlobal& global) { return global.name == name; });
        },
};

const wl_shm_listener WaylandConnection::kShmListener = {
    .format =
        [](void* data, wl_shm*, std::uint32_t format) {
          static_cast<WaylandConnection*>(data)->globals_.shm_formats.push_back(format);
        },
};

const xdg_wm_base_listener WaylandConnection::kWmBaseListener = {
    .ping = [](void* data, xdg_wm_base*,
               std::uint32_t serial) { static_cast<WaylandConnection*>(data)->ping_ = serial; },
};

void WaylandConnection::Disconnect::operator()(wl_display* display) const {
  wl_display_disconnect(display);
}

WaylandConnection::WaylandConnection() {
  wl_log_set_handler_client(&KeepComplaint);
  Connect();
  try {
    BindGlobals();
  } catch (...) {
    // A constructor that throws runs no destructor.
    ReleaseGlobals();
    throw;
  }
}

WaylandConnection::~WaylandConnection() {
  ReleaseGlobals();
}

void WaylandConnection::ReleaseGlobals() {
  // The outputs and the pointer go with their members; the connection last.
  if (globals_.fractional_manager != nullptr) {
    wp_fractional_scale_manager_v1_destroy(globals_.fractional_manager);
  }
  if (globals_.viewporter != nullptr) wp_viewporter_destroy(globals_.viewporter);
  if (globals_.wm_base != nullptr) xdg_wm_base_destroy(globals_.wm_base);
  if (globals_.shm != nullptr) wl_shm_destroy(globals_.shm);
  if (globals_.compositor != nullptr) wl_compositor_destroy(globals_.compositor);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  globals_ = WaylandGlobals{};
  registry_ = nullptr;
}

void WaylandConnection::Connect() {
  // The library's own reasons for a failed connection say little; these
  // say which socket is missing.
  const std::string path = WaylandSocketPath(WaylandDisplayName(), ProcessEnvironment);
  if (path.empty()) FailSetup("XDG_RUNTIME_DIR is not set");
  connection_.reset(wl_display_connect(nullptr));
  display_ = connection_.get();
  if (display_ == nullptr) {
    FailSetup(errno == ENOENT ? "there is no " + path : std::strerror(errno));
  }
}

[[noreturn]] void WaylandConnection::FailSetup(const std::string& why) const {
  throw RuntimeError::HostFailure(
      "cannot open the Wayland display \"" + WaylandDisplayName() + "\": " + why, kStatusNoDisplay);
}

void WaylandConnection::OnGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                                 std::uint32_t version) {
  const std::string which = interface;
  offered_.push_back({name, which, version});
  WaylandGlobals& g = globals_;
  if (which == wl_compositor_interface.name && g.compositor == nullptr) {
    g.compositor_version = std::min(version, 4u);
    g.compositor =
        Bind<wl_compositor>(registry, name, wl_compositor_interface, g.compositor_version);
  } else if (which == wl_shm_interface.name && g.shm == nullptr) {
    g.shm = Bind<wl_shm>(registry, name, wl_shm_interface, 1);
    wl_shm_add_listener(g.shm, &kShmListener, this);
  } else if (which == xdg_wm_base_interface.name && g.wm_base == nullptr) {
    g.wm_base = Bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, 1);
    xdg_wm_base_add_listener(g.wm_base, &kWmBaseListener, this);
  } else if (which == wp_viewporter_interface.name && g.viewporter == nullptr) {
    g.viewporter = Bind<wp_viewporter>(registry, name, wp_viewporter_interface, 1);
  } else if (which == wp_fractional_scale_manager_v1_interface.name &&
             g.fractional_manager == nullptr) {
    g.fractional_manager = Bind<wp_fractional_scale_manager_v1>(
        registry, name, wp_fractional_scale_manager_v1_interface, 1);
  } else if (which == wl_seat_interface.name) {
    pointer_.BindSeat(*registry, name);
  } else if (which == wl_output_interface.name) {
    outputs_.Add(*registry, name, version);
  }
}

void* WaylandConnection::BindOffered(const wl_interface& interface, std::uint32_t version) {
  for (const OfferedGlobal& global : offered_) {
    if (global.interface == interface.name && global.version >= version) {
      return wl_registry_bind(registry_, global.name, &interface, version);
    }
  }
  return nullptr;
}

void WaylandConnection::BindGlobals() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The first round trip lists the globals, the second the outputs' modes
  // and the formats.
  for (int trip = 0; trip < 2; ++trip) {
    if (wl_display_roundtrip(display_) < 0) FailSetup(BrokenReason(wl_display_get_error(display_)));
  }
  const std::pair<const void*, const char*> required[] = {{globals_.compositor, "wl_compositor"},
                                                          {globals_.shm, "wl_shm"},
                                                          {globals_.wm_base, "xdg_wm_base"}};
  for (const auto& [global, name] : required) {
    if (global == nullptr) FailSetup(std::string("the compositor offers no ") + name);
  }
  CheckFormats();
}

void WaylandConnection::CheckFormats() const {
  if (globals_.Takes(WL_SHM_FORMAT_XRGB8888) || globals_.Takes(WL_SHM_FORMAT_RGB565)) return;
  std::string offered;
  for (const std::uint32_t format : globals_.shm_formats) {
    offered += (offered.empty() ? "" : ", ") + FormatName(format);
  }
  FailSetup("its shared memory takes neither XRGB8888 nor RGB565 (it offers " +
            (offered.empty() ? std::string("none") : offered) + ")");
}

void WaylandConnection::DispatchForSetup() {
  if (wl_display_dispatch(display_) < 0) FailSetup(BrokenReason(wl_display_get_error(display_)));
}

void WaylandConnection::SendOwnReplies() {
  if (!SendQueued()) return;
  bool sent = pointer_.SendRequests();
  if (ping_) {
    xdg_wm_base_pong(globals_.wm_base, *ping_);
    ping_.reset();
    sent = true;
  }
  if (sent) MarkQueued();
}

bool WaylandConnection::SendQueued() {
  if (!queued_) return true;
  // Never waits: a compositor that stops reading leaves the rest queued,
  // and the wait sends it once the socket takes it.
  if (wl_display_flush(display_) >= 0) {
    queued_ = false;
  } else if (errno != EAGAIN) {
    ReportLost(errno);
  }
  return !queued_;
}

void WaylandConnection::DispatchPending() {
  if (wl_display_dispatch_pending(display_) < 0) ThrowIfBroken();
  ThrowIfBroken();
}

[[noreturn]] void WaylandConnection::ReportLost(int write_error) {
  // A compositor that ends the connection over a protocol error sends the
  // error first: it may still be unread on the socket, and it is the
  // better reason.
  if (wl_display_get_error(display_) == 0) {
    if (wl_display_prepare_read(display_) == 0) {
      if (wl_display_read_events(display_) == 0) wl_display_dispatch_pending(display_);
    } else {
      wl_display_dispatch_pending(display_);
    }
  }
  ThrowIfBroken();
  ThrowDisplayLost("lost the connection to the display: " + BrokenReason(write_error));
}

void WaylandConnection::ThrowIfBroken() const {
  const int error = wl_display_get_error(display_);
  if (error == 0) return;
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    // The library logged the compositor's own words as "object: error N: words".
    const std::string& complaint = LibraryComplaint();
    const std::string marker = "error " + std::to_string(code) + ": ";
    const std::size_t words = complaint.find(marker);
    ThrowDisplayLost(
        "the Wayland compositor ended the connection: protocol error " + std::to_string(code) +
        " on " + (interface != nullptr ? interface->name : "unknown") +
        (words == std::string::npos ? "" : ": " + complaint.substr(words + marker.size())));
  }
  ThrowDisplayLost("lost the connection to the display: " + BrokenReason(error));
}

void WaylandConnection::AwaitEvents(TickTimer& timer, std::chrono::steady_clock::time_point due) {
  while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
  DisplayWake wake;
  try {
    wake = WaitForDisplay(wl_display_get_fd(display_), queued_, timer, due);
  } catch (...) {
    wl_display_cancel_read(display_);
    throw;
  }
  if (wake.readable) {
    if (wl_display_read_events(display_) < 0) ThrowIfBroken();
  } else {
    wl_display_cancel_read(display_);
  }
  if (wake.writable) SendQueued();
}

}  // namespace slash
