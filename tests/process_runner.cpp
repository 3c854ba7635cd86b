#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace slash::testing {
namespace {

void DrainPipes(int out_fd, int err_fd, ProcessResult& result) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

void ApplyEnvironment(const Environment& env) {
  for (const std::string& entry : env) {
    const auto equals = entry.find('=');
    if (equals == std::string::npos) {
      unsetenv(entry.c_str());
    } else {
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
  }
}

[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const Environment& env) {
  // No controlling terminal: a program a test runs never draws on the
  // terminal the tests were started from. (The child stays in the test's
  // process group, so setsid(1) under it does not fork.)
  const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY);
  if (terminal >= 0) {
    ioctl(terminal, TIOCNOTTY);
    close(terminal);
  }
  ApplyEnvironment(env);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

int StatusOf(int wait_status) {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

std::optional<double> ProcessorWaitMs(int pid) {
  // /proc/PID/schedstat: time on a processor, time waiting for one (both in
  // nanoseconds), time slices.
  std::ifstream stats("/proc/" + std::to_string(pid) + "/schedstat");
  double running_ns = 0;
  double waiting_ns = 0;
  if (!(stats >> running_ns >> waiting_ns)) return std::nullopt;
  return waiting_ns / 1e6;
}

}  // namespace

void ProcessorWaitFollower::Look(int pid) {
  const auto now = std::chrono::steady_clock::now();
  const std::optional<double> total = ProcessorWaitMs(pid);
  if (!total) return;
  if (last_total_ms_) {
    const double elapsed = std::chrono::duration<double, std::milli>(now - last_look_).count();
    const double increase = *total - *last_total_ms_;
    // Waiting for most of the time between two looks continues a stretch.
    stretch_ms_ = increase >= elapsed / 2 ? stretch_ms_ + increase : 0;
  }
  longest_ms_ = std::max(longest_ms_.value_or(0), stretch_ms_);
  last_total_ms_ = total;
  last_look_ = now;
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& env) {
  int err_pipe[2];
  if (pipe(err_pipe) != 0) std::abort();
  pid_ = fork();
  if (pid_ == 0) {
    dup2(err_pipe[1], STDERR_FILENO);
    close(err_pipe[0]);
    close(err_pipe[1]);
    ExecChild(argv, env);
  }
  close(err_pipe[1]);
  err_fd_ = err_pipe[0];
}

ChildProcess::~ChildProcess() {
  if (!ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (err_fd_ >= 0) close(err_fd_);
}

void ChildProcess::Reap(int wait_status) {
  ended_ = true;
  status_ = StatusOf(wait_status);
}

bool ChildProcess::Running() {
  if (ended_) return false;
  siginfo_t exited{};
  const bool exited_now =
      waitid(P_PID, static_cast<id_t>(pid_), &exited, WEXITED | WNOHANG | WNOWAIT) == 0 &&
      exited.si_pid == pid_;
  if (processor_wait_) processor_wait_->Look(pid_);  // before reaping
  if (!exited_now) return true;
  int wait_status = 0;
  rusage usage{};
  if (wait4(pid_, &wait_status, WNOHANG, &usage) == pid_) {
    peak_rss_kib_ = usage.ru_maxrss;
    Reap(wait_status);
  }
  return !ended_;
}

bool ChildProcess::WaitFor(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void ChildProcess::Signal(int signal_number) {
  if (!ended_) kill(pid_, signal_number);
}

std::string ChildProcess::TakeErr() {
  char buffer[4096];
  pollfd fd{err_fd_, POLLIN, 0};
  while (poll(&fd, 1, 0) > 0) {
    const ssize_t n = read(err_fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    err_.append(buffer, static_cast<std::size_t>(n));
  }
  return err_;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) std::abort();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    // Only 1 and 2 stay: a daemon the child starts must not hold the pipes.
    for (const int fd : {out_pipe[0], err_pipe[0], out_pipe[1], err_pipe[1]}) close(fd);
    ExecChild(argv, env);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  ProcessResult result;
  DrainPipes(out_pipe[0], err_pipe[0], result);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = StatusOf(status);
  return result;
}

}  // namespace slash::testing
