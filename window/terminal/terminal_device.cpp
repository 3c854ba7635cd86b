#include "window/terminal/terminal_device.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

constexpr char kTerminalPath[] = "/dev/tty";
constexpr std::size_t kCodesLimit = 512;

// What the signal handlers need, prepared before the modes are taken: a
// handler may only make async-signal-safe calls on data that is ready.
struct Restore {
  int fd = -1;
  termios given{};   // the terminal as it was given to us
  termios effect{};  // the effect's modes
  char enter[kCodesLimit]{};
  std::size_t enter_length = 0;
  char leave[kCodesLimit]{};
  std::size_t leave_length = 0;
  volatile sig_atomic_t entered = 0;
};
Restore restore;
volatile sig_atomic_t resized = 0;
volatile sig_atomic_t continued = 0;

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP,  SIGQUIT, SIGSEGV, SIGBUS,
                                   SIGFPE, SIGILL,  SIGABRT, SIGTSTP, SIGWINCH};
struct sigaction previous[NSIG];

void WriteNow(const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = write(restore.fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

// Gives the terminal back at once: what is queued for it and not yet
// taken is dropped (it may end inside a control sequence, which the
// leading CAN ends), so the way back never waits on a slow or stopped
// reader. Async-signal-safe.
void GiveBack() {
  if (restore.entered == 0) return;
  restore.entered = 0;
  tcflush(restore.fd, TCOFLUSH);
  WriteNow(restore.leave, restore.leave_length);
  tcflush(restore.fd, TCIFLUSH);  // what was typed at the effect is not for the shell
  tcsetattr(restore.fd, TCSANOW, &restore.given);
}

void TakeModes() {
  tcsetattr(restore.fd, TCSANOW, &restore.effect);
  WriteNow(restore.enter, restore.enter_length);
  restore.entered = 1;
}

extern "C" void OnEndSignal(int number) {
  GiveBack();
  _exit(kStatusSignalBase + number);
}

extern "C" void OnCrashSignal(int number) {
  GiveBack();
  // The handler was reset when it ran: raised again, the signal does what
  // it does by default.
  raise(number);
}

extern "C" void OnStopSignal(int number) {
  const int saved_errno = errno;
  GiveBack();
  // Stopped by the signal's own default action, as the shell expects.
  struct sigaction ours {};
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigaction(number, &stop, &ours);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, number);
  sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(number);
  // Continued: the effect's modes again, and the screen to be sent again.
  sigaction(number, &ours, nullptr);
  TakeModes();
  continued = 1;
  errno = saved_errno;
}

extern "C" void OnResize(int) {
  resized = 1;
}

void Handle(int number, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigfillset(&action.sa_mask);
  sigaction(number, &action, &previous[number]);
  // A signal ignored when the program started stays ignored, as a shell
  // expects of a background job.
  if (previous[number].sa_handler == SIG_IGN && number != SIGWINCH) {
    sigaction(number, &previous[number], nullptr);
  }
}

void CopyCodes(const std::string& codes, char (&into)[kCodesLimit], std::size_t& length) {
  if (codes.size() > kCodesLimit) {
    throw RuntimeError::HostFailure("the terminal's control strings are too long",
                                    kStatusNoDisplay);
  }
  std::memcpy(into, codes.data(), codes.size());
  length = codes.size();
}

[[noreturn]] void TerminalLost(const char* what) {
  ThrowDisplayLost(std::string("lost the terminal: ") + what);
}

}  // namespace

bool TerminalAvailable() {
  const int fd = open(kTerminalPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

TerminalDevice::TerminalDevice()
    : fd_(open(kTerminalPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd_ < 0) {
    throw RuntimeError::HostFailure(
        std::string("no terminal to show the effect on: cannot open /dev/tty: ") +
            std::strerror(errno),
        kStatusNoDisplay);
  }
}

TerminalDevice::~TerminalDevice() {
  if (restore.fd == fd_) {
    GiveBack();
    for (int number : kHandledSignals) sigaction(number, &previous[number], nullptr);
    restore.fd = -1;
  }
  close(fd_);
}

ScreenSize TerminalDevice::CellSize() const {
  winsize size{};
  if (ioctl(fd_, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return ScreenSize{80, 24};
  }
  return ScreenSize{size.ws_col, size.ws_row};
}

void TerminalDevice::Enter(const std::string& enter, const std::string& leave) {
  termios given{};
  if (tcgetattr(fd_, &given) != 0) {
    throw RuntimeError::HostFailure(
        std::string("cannot read the terminal's settings: ") + std::strerror(errno),
        kStatusNoDisplay);
  }
  // The codes first: once restore.fd is ours, the handlers are ours too.
  CopyCodes(enter, restore.enter, restore.enter_length);
  CopyCodes("\x18" + leave, restore.leave, restore.leave_length);
  restore.fd = fd_;
  restore.given = given;
  restore.effect = given;
  // No echo, no line editing, no flow control (Ctrl+S would hold the
  // effect up); Ctrl+C, Ctrl+\ and Ctrl+Z stay signals.
  restore.effect.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
  restore.effect.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
  restore.effect.c_cc[VMIN] = 0;
  restore.effect.c_cc[VTIME] = 0;
  for (int number : kEndSignals) Handle(number, OnEndSignal, 0);
  for (int number : kCrashSignals) Handle(number, OnCrashSignal, SA_RESETHAND | SA_NODEFER);
  Handle(SIGTSTP, OnStopSignal, SA_RESTART);
  // No SA_RESTART: a resize ends the wait at once.
  Handle(SIGWINCH, OnResize, 0);
  sigset_t blocked;
  sigfillset(&blocked);
  sigset_t was;
  pthread_sigmask(SIG_BLOCK, &blocked, &was);
  if (tcsetattr(fd_, TCSANOW, &restore.effect) != 0) {
    const int error = errno;
    pthread_sigmask(SIG_SETMASK, &was, nullptr);
    throw RuntimeError::HostFailure(
        std::string("cannot set the terminal's modes: ") + std::strerror(error), kStatusNoDisplay);
  }
  restore.entered = 1;
  pthread_sigmask(SIG_SETMASK, &was, nullptr);
}

std::size_t TerminalDevice::WriteSome(std::string_view bytes) {
  std::size_t total = 0;
  while (total < bytes.size()) {
    const ssize_t written = write(fd_, bytes.data() + total, bytes.size() - total);
    if (written > 0) {
      total += static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && errno == EAGAIN) {
      break;
    } else {
      TerminalLost(written < 0 ? std::strerror(errno) : "it takes nothing more");
    }
  }
  return total;
}

void TerminalDevice::DiscardInput() {
  char typed[256];
  for (bool first = true;; first = false) {
    const ssize_t got = read(fd_, typed, sizeof typed);
    if (got > 0) continue;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return;
    // Woken for reading with nothing to read: the terminal hung up.
    if (got < 0 || first) TerminalLost(got < 0 ? std::strerror(errno) : "it hung up");
    return;
  }
}

bool TerminalDevice::TakeResized() {
  const bool was = resized != 0;
  resized = 0;
  return was;
}

bool TerminalDevice::TakeContinued() {
  const bool was = continued != 0;
  continued = 0;
  return was;
}

}  // namespace slash
