// SPDX-License-Identifier: MIT
#include "monitors/linux/bus_lock.h"

#include <sys/file.h>

#include <cerrno>

namespace kelvane::linux_ddc {
namespace {

// flock() has no timeout of its own, and a signal to cut a blocking one short
// would be process-wide state: the lock is tried again at this interval.
constexpr milliseconds kRetryInterval{1};

}  // namespace

int lockExclusively(int descriptor, milliseconds timeout, Timing& timing) {
  const Clock::time_point deadline = timing.now() + timeout;
  for (;;) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
      return 0;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      return errno;
    }
    if (timing.now() >= deadline) {
      return ETIMEDOUT;
    }
    timing.sleepFor(kRetryInterval);
  }
}

void unlock(int descriptor) {
  flock(descriptor, LOCK_UN);
}

}  // namespace kelvane::linux_ddc
