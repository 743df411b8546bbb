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
// then sleep its whole 5 s.
int gWake[2] = {-1, -1};

void onSignal(int number) {
  if (gRestoring != 0) {
    _exit(128 + gSignal);
  }
  if (gSignal == 0) {
    gSignal = number;
  }
  const int saved = errno;
  const char byte = 1;
  if (gWake[1] >= 0) {
    // Full pipe: a wake-up is already waiting.
    [[maybe_unused]] const ssize_t written = write(gWake[1], &byte, 1);
  }
  errno = saved;
}

}  // namespace

void watch() {
  if (gWake[0] < 0 && pipe2(gWake, O_CLOEXEC | O_NONBLOCK) != 0) {
    gWake[0] = gWake[1] = -1;
  }
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
    pollfd wake{gWake[0], POLLIN, 0};
    // Without the pipe (no descriptor to be had), poll() only sleeps, and a
    // signal still cuts it short.
    poll(&wake, gWake[0] >= 0 ? 1 : 0, static_cast<int>(left.count() + 1));
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
  while (gWake[0] >= 0 && read(gWake[0], drained, sizeof drained) > 0) {
  }
}

}  // namespace kelvane::interruption
