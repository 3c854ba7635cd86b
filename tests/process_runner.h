#pragma once

#include <string>
#include <vector>

namespace slash::testing {

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs a program with these arguments (no shell), waits for it and
// returns what it printed.
ProcessResult RunProcess(const std::vector<std::string>& argv);

}  // namespace slash::testing
