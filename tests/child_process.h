// SPDX-License-Identifier: MIT
// Runs programs for the process-level tests, with what they wrote, when each
// line arrived, and how they ended: one child at a time (runChild), or
// several driven by another event loop (Child, as the emulated desktop does).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace kelvane::testing_support {

using Clock = std::chrono::steady_clock;

struct OutputLine {
  std::string text;  // without its newline
  Clock::time_point arrived;
};

struct ChildResult {
  bool started = false;
  bool timedOut = false;
  int exitStatus = -1;  // 0 to 255; -1 when killed by a signal
  std::string out;
  std::string err;
  // Each line of out, with when it was read: a line held back in a buffer
  // arrives together with a later one.
  std::vector<OutputLine> lines;
  Clock::time_point start;
  Clock::time_point end;
  // When standard output reached its end: no process holds it any more.
  Clock::time_point outEnded;
  // Its process group's id, which the processes it started share.
  pid_t processGroup = -1;
  // When the signal of ChildOptions::signalOnLine was sent.
  Clock::time_point signalled;
  // User and system time of the child, when the kernel could report it.
  std::chrono::microseconds cpuTime{0};
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - start);
  }
};

struct ChildOptions {
  // Look argv[0] up on PATH.
  bool searchPath = false;
  // Standard descriptors the child starts without, as some hotkey daemons
  // and services start programs.
  std::set<int> closedDescriptors;
  // The reader of standard output goes away after this many lines, as
  // `| head -1` does; 0: it reads to the end.
  std::size_t linesRead = 0;
  // Sent to the child once it has printed this line (without its line end):
  // Ctrl+C at a known point of a run, as a person would press it.
  int signalOnLine = 0;
  std::string signalledLine;
};

// One child, its standard input /dev/null, its standard output and error on
// pipes, in a process group of its own (so that a hung run can be ended with
// whatever it started), and with SIGPIPE at its default action, as a shell
// starts programs.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  Child(Child&&) = delete;
  Child& operator=(Child&&) = delete;

  bool start(const std::vector<std::string>& argv, const ChildOptions& options = {});
  pid_t pid() const { return pid_; }
  // Our ends of its output and error; -1 once read to their end.
  int outDescriptor() const { return out_; }
  int errDescriptor() const { return err_; }
  // Reads what is waiting; false once that stream has ended (or, for the
  // output, its reader has gone away), and its descriptor is closed.
  bool readOut();
  bool readErr();
  // Whether it has ended, reaping it, with its resource usage, when it has.
  bool reap(bool wait);
  bool exited() const { return exited_; }
  // Kills its process group.
  void kill() const;

  ChildResult& result() { return result_; }

 private:
  bool read(int& descriptor, bool isOut);

  ChildResult result_;
  ChildOptions options_;
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool exited_ = false;
  std::string partialLine_;
};

// argv[0] is the program, found without a PATH search. A child still running
// after the timeout is killed.
ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     const ChildOptions& options = {});

}  // namespace kelvane::testing_support
