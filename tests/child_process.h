// Runs a program to completion for a process-level test, with what it wrote
// and how it ended.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kelvane::testing_support {

struct ChildResult {
  bool started = false;
  bool timedOut = false;
  int exitStatus = -1;  // 0 to 255; -1 when killed by a signal
  std::string out;
  std::string err;
  // When each '\n' of out was read, in order: a line held back in a buffer
  // arrives together with a later one.
  std::vector<std::chrono::steady_clock::time_point> outLineArrivals;
};

// argv[0] is the program, found without a PATH search. A child still running
// after the timeout is killed.
ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

}  // namespace kelvane::testing_support
