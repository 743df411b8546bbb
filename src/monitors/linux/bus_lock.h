// SPDX-License-Identifier: MIT
// The advisory lock that shares a bus between runs: an exclusive flock() on
// the /dev/i2c-N descriptor, the convention of DDC/CI tools on Linux. A run
// keeps it while it uses the bus and gives it up only once the display may
// take the next message, so that the pause between messages holds across
// processes: two runs at once, back-to-back runs, other programs.
#pragma once

#include <chrono>

#include "monitors/linux/ddc_pacing.h"
#include "monitors/platform.h"

namespace kelvane::linux_ddc {

// Long enough for any other run's exchanges (a Get with all its retries takes
// under a second), short enough that a stuck holder does not hang us. The
// failure line words it too, so it lives at the seam.
inline constexpr milliseconds kLockTimeout = platform::kBusLockTimeout;

// 0 once the lock is held; ETIMEDOUT when another holder kept it for the
// whole timeout; otherwise flock's errno. Never blocks past the timeout.
int lockExclusively(int descriptor, milliseconds timeout, Timing& timing);

void unlock(int descriptor);

}  // namespace kelvane::linux_ddc
