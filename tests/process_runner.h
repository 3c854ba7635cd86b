#pragma once

#include <chrono>
#include <optional>
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

// How long the process `pid` has waited for a processor while it was ready
// to run, from the kernel's scheduler statistics; nothing where the kernel
// keeps none. Read it from an exited child before reaping it (waitid with
// WNOWAIT). The figure is the main thread's, which is all of slash.
std::optional<double> ProcessorWaitMs(int pid);

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
  // From now on, each call to Running (which the watches make every few
  // ms) reads the child's scheduler figures, for the longest stretch it
  // waited for a processor while ready to run: a program kept from running
  // cannot be judged on time. Only the timing checks ask for it: it changes
  // the harness's own timing.
  void FollowProcessorWait() { follow_wait_ = true; }
  // That stretch, once the child has ended; nothing where the kernel keeps
  // no figures or nobody asked.
  std::optional<double> longest_processor_wait_ms() const { return longest_wait_ms_; }
  std::string TakeErr();

 private:
  void Reap(int wait_status);
  void SampleProcessorWait();
  int pid_ = -1;
  int err_fd_ = -1;
  int status_ = -1;
  long peak_rss_kib_ = 0;
  bool follow_wait_ = false;
  std::optional<double> longest_wait_ms_;
  std::optional<double> last_wait_ms_;  // the total at the last look, and when
  std::chrono::steady_clock::time_point last_look_;
  double stretch_ms_ = 0;
  bool ended_ = false;
  std::string err_;
};

}  // namespace slash::testing
