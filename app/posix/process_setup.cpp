#include "app/process_setup.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "runtime/command_text.h"
#include "runtime/exit_status.h"

namespace slash {
namespace {

extern "C" void ExitWithSignalStatus(int signal_number) {
  _exit(kStatusSignalBase + signal_number);
}

void ExitOn(int signal_number) {
  struct sigaction current {};
  if (sigaction(signal_number, nullptr, &current) != 0) return;
  if (current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = ExitWithSignalStatus;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is this one.
    const int opened = open("/dev/null", O_RDONLY);
    if (opened != fd && opened >= 0) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

void ExitOnStopSignals() {
  ExitOn(SIGINT);
  ExitOn(SIGTERM);
}

void EndRun(int /*status*/) {}

void IgnoreBrokenPipes() {
  signal(SIGPIPE, SIG_IGN);
}

std::string EffectCommandText(const std::vector<std::string>& arguments, std::size_t skipped) {
  skipped = std::min(skipped, arguments.size());
  return JoinArguments(
      std::vector<std::string>(arguments.begin() + static_cast<long>(skipped), arguments.end()));
}

void ReportErrorLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace slash
