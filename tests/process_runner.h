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

// The longest stretch a process waited for a processor while it was ready
// to run, from the kernel's scheduler figures read at each look (every few
// ms): a program kept from running cannot be judged on time. Look at an
// exited child once more before reaping it (waitid with WNOWAIT), while its
// figures are still there. They are the main thread's, which is all of slash.
class ProcessorWaitFollower {
 public:
  void Look(int pid);
  // Nothing where the kernel keeps no figures.
  std::optional<double> longest_ms() const { return longest_ms_; }

 private:
  std::optional<double> longest_ms_;
  std::optional<double> last_total_ms_;  // at the last look, and when
  std::chrono::steady_clock::time_point last_look_;
  double stretch_ms_ = 0;
};

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
  // ms) follows the child's wait for a processor. Only the timing checks
  // ask for it: it changes the harness's own timing.
  void FollowProcessorWait() { processor_wait_.emplace(); }
  // The longest stretch it waited (see ProcessorWaitFollower), once it has
  // ended; nothing where the kernel keeps no figures or nobody asked.
  std::optional<double> longest_processor_wait_ms() const {
    return processor_wait_ ? processor_wait_->longest_ms() : std::nullopt;
  }
  std::string TakeErr();

 private:
  void Reap(int wait_status);
  int pid_ = -1;
  int err_fd_ = -1;
  int status_ = -1;
  long peak_rss_kib_ = 0;
  std::optional<ProcessorWaitFollower> processor_wait_;
  bool ended_ = false;
  std::string err_;
};

}  // namespace slash::testing
