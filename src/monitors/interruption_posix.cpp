// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "monitors/interruption.h"

namespace kelvane::interruption {
namespace {

// Written by the handler, read by the run: the signal's number, or 0.
volatile sig_atomic_t gSignal = 0;
volatile sig_atomic_t gRestoring = 0;
// A byte in this pipe wakes a rest() under way, whenever the signal came:
// a flag alone could be set just after rest() looked at it, and the run would
// then sleep its whole 5 s. The handler reads the descriptors from here.
volatile sig_atomic_t gWakeRead = -1;
volatile sig_atomic_t gWakeWrite = -1;

// Owns the pipe, so that it is closed when the process ends normally: no
// descriptor of ours outlives the run.
class WakePipe {
 public:
  WakePipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
      gWakeRead = ends[0];
      gWakeWrite = ends[1];
    }
  }
  ~WakePipe() {
    const int ends[] = {gWakeRead, gWakeWrite};
    gWakeRead = gWakeWrite = -1;
    for (const int end : ends) {
      if (end >= 0) {
        close(end);
      }
    }
  }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  WakePipe(WakePipe&&) = delete;
  WakePipe& operator=(WakePipe&&) = delete;
};

void onSignal(int number) {
  if (gRestoring != 0) {
    _exit(128 + gSignal);
  }
  if (gSignal == 0) {
    gSignal = number;
  }
  const int saved = errno;
  const char byte = 1;
  if (gWakeWrite >= 0) {
    // Full pipe: a wake-up is already waiting.
    [[maybe_unused]] const ssize_t written = write(gWakeWrite, &byte, 1);
  }
  errno = saved;
}

}  // namespace

void watch() {
  static WakePipe pipe;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  // System calls under way go on: a transfer or a protocol wait is finished,
  // then the run stops at its next step.
  action.sa_flags = SA_RESTART;
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(number, &action, nullptr);
  }
}

bool requested() {
  return gSignal != 0;
}

int exitStatus() {
  return gSignal != 0 ? 128 + gSignal : 0;
}

void requestForClosedOutput() {
  if (gSignal == 0) {
    gSignal = SIGPIPE;
  }
}

void rest(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (gSignal == 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return;
    }
    pollfd wake{gWakeRead, POLLIN, 0};
    // Without the pipe (no descriptor to be had, or never watched), poll()
    // only sleeps, and a signal still cuts it short.
    poll(&wake, gWakeRead >= 0 ? 1 : 0, static_cast<int>(left.count() + 1));
  }
}

void beginRestoring() {
  gRestoring = 1;
}

bool mayCommand() {
  return gSignal == 0 || gRestoring != 0;
}

void forgetForTests() {
  gSignal = 0;
  gRestoring = 0;
  char drained[64];
  while (gWakeRead >= 0 && read(gWakeRead, drained, sizeof drained) > 0) {
  }
}

}  // namespace kelvane::interruption
