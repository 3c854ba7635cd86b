#include "window/linux/setup_deadline.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace slash {
namespace {

// What the alarm's handler may touch: plain data set before the alarm is
// armed, since a handler may only make async-signal-safe calls.
char g_report[512];
std::size_t g_report_length = 0;
int g_report_fd = -1;
int g_exit_status = 0;

extern "C" void EndAtTheDeadline(int /*signal_number*/) {
  if (g_report_fd >= 0) (void)!write(g_report_fd, g_report, g_report_length);
  _exit(g_exit_status);
}

}  // namespace

SetupDeadline::SetupDeadline(std::chrono::seconds limit, const std::string& report,
                             int exit_status) {
  g_report_length = std::min(report.size(), sizeof g_report - 1);
  std::memcpy(g_report, report.data(), g_report_length);
  g_report[g_report_length++] = '\n';
  // Its own copy of stderr: the back end may point descriptor 2 elsewhere
  // for a moment while it waits.
  g_report_fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  g_exit_status = exit_status;
  struct sigaction action {};
  action.sa_handler = EndAtTheDeadline;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  alarm(static_cast<unsigned>(std::max<std::chrono::seconds::rep>(1, limit.count())));
}

SetupDeadline::~SetupDeadline() {
  alarm(0);
  signal(SIGALRM, SIG_DFL);
  if (g_report_fd >= 0) close(g_report_fd);
  g_report_fd = -1;
}

std::string NoAnswerReport(const std::string& display) {
  return "slash: the " + display + " did not answer in " +
         std::to_string(kDisplaySetupLimit.count()) + " s";
}

}  // namespace slash
