#include "window/x11/x11_display.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/runtime_error.h"
#include "window/linux/display_names.h"

namespace slash {
namespace {

// Opens the connection. When the server refuses it, xcb writes the server's
// reason straight to descriptor 2; it is caught there instead, so that the
// refusal is reported in one line, with the reason in it.
xcb_connection_t* ConnectCatchingReason(int& screen_number, std::string& reason) {
  const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  const int catcher = memfd_create("slash-x-refusal", MFD_CLOEXEC);
  const bool catching = saved >= 0 && catcher >= 0 && dup2(catcher, STDERR_FILENO) >= 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen_number);
  if (catching) {
    dup2(saved, STDERR_FILENO);
    char text[512];
    const ssize_t length = pread(catcher, text, sizeof text, 0);
    if (length > 0) reason.assign(text, static_cast<std::size_t>(length));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  }
  if (saved >= 0) close(saved);
  if (catcher >= 0) close(catcher);
  return connection;
}

}  // namespace

X11Display::X11Display() {
  Connect();
  try {
    PrefetchRandr(*connection_);
    screen_ = &NumberedScreen(*connection_, screen_number_);
    visual_ = ChooseWindowVisual(*connection_, *screen_);
    InternAtoms();
    primary_ = PrimaryMonitorOf(*connection_, *screen_);
    if (primary_.index >= 0) {
      xcb_window_t manager = XCB_NONE;
      manager_running_ = xcb_ewmh_get_supporting_wm_check_reply(
                             &ewmh_, xcb_ewmh_get_supporting_wm_check(&ewmh_, screen_->root),
                             &manager, nullptr) != 0 &&
                         manager != XCB_NONE;
    }
    ThrowIfBroken();
  } catch (...) {
    // A constructor that throws runs no destructor.
    Release();
    throw;
  }
}

X11Display::~X11Display() {
  Release();
}

void X11Display::Release() {
  if (ewmh_ready_) xcb_ewmh_connection_wipe(&ewmh_);  // a failed set-up wipes itself
  ewmh_ready_ = false;
  // Nothing is flushed here, so a stalled server cannot hold the end up.
  if (connection_ != nullptr) xcb_disconnect(connection_);
  connection_ = nullptr;
}

void X11Display::Connect() {
  std::string reason;
  connection_ = ConnectCatchingReason(screen_number_, reason);
  if (xcb_connection_has_error(connection_) == 0) return;
  Release();
  std::string report = "cannot open the X display \"" + X11DisplayName() + "\"";
  if (!reason.empty()) report += ": " + reason;
  throw RuntimeError::HostFailure(report, kStatusNoDisplay);
}

void X11Display::InternAtoms() {
  // All requests go out before the first reply is awaited: one round trip.
  xcb_intern_atom_cookie_t* ewmh_cookies = xcb_ewmh_init_atoms(connection_, &ewmh_);
  const auto intern = [this](const char* name) {
    return xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  };
  const xcb_intern_atom_cookie_t cookies[] = {intern("WM_DELETE_WINDOW"),
                                              intern("_MOTIF_WM_HINTS")};
  ewmh_ready_ = xcb_ewmh_init_atoms_replies(&ewmh_, ewmh_cookies, nullptr) != 0;
  xcb_atom_t* targets[] = {&atoms_.delete_window, &atoms_.motif_hints};
  for (std::size_t i = 0; i < std::size(cookies); ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookies[i], nullptr);
    if (reply != nullptr) *targets[i] = reply->atom;
    std::free(reply);
  }
  ThrowIfBroken();
  if (!ewmh_ready_) {
    throw RuntimeError(RuntimeErrorKind::kPropertyFailure, "cannot read the X server's atoms");
  }
}

void X11Display::ThrowIfBroken() const {
  if (xcb_connection_has_error(connection_) != 0) ThrowDisplayLost();
}

}  // namespace slash
