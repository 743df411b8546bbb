// SPDX-License-Identifier: MIT
#include "monitors/linux/pause_keeper.h"

#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <initializer_list>

namespace kelvane::linux_ddc {
namespace {

// Closes every descriptor from first to last, both included, by the system
// call itself: nothing else may run in the child (a library that wraps
// close(), say).
void closeRange(unsigned first, unsigned last) {
  if (first > last) {
    return;
  }
  if (syscall(SYS_close_range, first, last, 0) == 0) {
    return;
  }
  // Before Linux 5.9: one at a time, up to the process's limit.
  const long limit = std::min(sysconf(_SC_OPEN_MAX), 65536L);
  for (long descriptor = first; descriptor <= std::min<long>(last, limit); ++descriptor) {
    syscall(SYS_close, descriptor);
  }
}

void sleepUntil(Clock::time_point until) {
  const auto since = until.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  const timespec at{static_cast<time_t>(seconds.count()),
                    static_cast<long>(std::chrono::nanoseconds(since - seconds).count())};
  // steady_clock is CLOCK_MONOTONIC on Linux.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

[[noreturn]] void keep(std::vector<OwedPause> pauses) {
  for (const int number : {SIGINT, SIGHUP, SIGQUIT}) {
    static_cast<void>(signal(number, SIG_IGN));
  }
  std::sort(pauses.begin(), pauses.end(), [](const OwedPause& left, const OwedPause& right) {
    return left.descriptor < right.descriptor;
  });
  unsigned next = 0;
  for (const OwedPause& pause : pauses) {
    if (pause.descriptor > 0) {
      closeRange(next, static_cast<unsigned>(pause.descriptor) - 1);
    }
    next = static_cast<unsigned>(pause.descriptor) + 1;
  }
  closeRange(next, ~0U);
  std::sort(pauses.begin(), pauses.end(),
            [](const OwedPause& left, const OwedPause& right) { return left.until < right.until; });
  for (const OwedPause& pause : pauses) {
    sleepUntil(pause.until);
    syscall(SYS_close, pause.descriptor);  // the last copy: the lock goes with it
  }
  _exit(0);
}

}  // namespace

bool keepPausesAfterExit(const std::vector<OwedPause>& pauses) {
  if (pauses.empty()) {
    return true;
  }
  const pid_t child = fork();
  if (child == 0) {
    keep(pauses);
  }
  return child > 0;
}

}  // namespace kelvane::linux_ddc
