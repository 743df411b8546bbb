// SPDX-License-Identifier: MIT
// The pause a run owes its displays after their last messages, kept after
// the run has ended. Other programs that share a bus take its lock (see
// bus_lock.h) and then send at once, so the lock may be given back only once
// the display may take the next message: up to 50 ms after the run's last
// exchange. Waiting for that in the run itself would make every run that
// far longer (`$(kelvane -q)` in a script, a hotkey followed by another
// command): the run leaves at once instead, and a child process keeps the
// locked descriptors, and only them, until each pause has passed.
#pragma once

#include <vector>

#include "monitors/linux/ddc_pacing.h"

namespace kelvane::linux_ddc {

struct OwedPause {
  int descriptor = -1;        // a bus's, locked
  Clock::time_point until{};  // when its display may take the next message
};

// Starts the child that keeps them, with no other descriptor open (its
// standard ones closed, so that whoever reads the run's output sees its end
// as soon as the run ends), and ignoring the terminal's signals; it exits
// once the last pause has passed. True when it runs: the caller then closes
// its own copies without unlocking them, since a lock belongs to the open
// file that both share. False when it could not start: the caller waits.
bool keepPausesAfterExit(const std::vector<OwedPause>& pauses);

}  // namespace kelvane::linux_ddc
