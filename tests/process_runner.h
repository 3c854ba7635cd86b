#pragma once

#include <string>
#include <vector>

namespace slash::testing {

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Environment changes for a child: NAME=VALUE sets, a bare NAME unsets.
using Environment = std::vector<std::string>;

// Sleeps this thread for `ms` milliseconds.
void Sleep(int ms);

// Runs a program with these arguments (no shell), waits for it and
// returns what it printed.
ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env = {});

// A child process running in the background, its output captured.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const Environment& env = {});
  ~ChildProcess();  // kills the child if it is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int pid() const { return pid_; }
  // Waits up to `timeout_ms` for the child to end; false if it has not.
  bool WaitFor(int timeout_ms);
  bool Running();
  void Signal(int signal_number);
  // Valid once the child has ended.
  int status() const { return status_; }
  // The child's peak resident memory, once it has ended.
  long peak_rss_kib() const { return peak_rss_kib_; }
  std::string TakeErr();

 private:
  void Reap(int wait_status);
  int pid_ = -1;
  int err_fd_ = -1;
  int status_ = -1;
  long peak_rss_kib_ = 0;
  bool ended_ = false;
  std::string err_;
};

}  // namespace slash::testing
