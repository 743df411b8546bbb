// SPDX-License-Identifier: MIT
// What stops a run from outside, and how the run hears of it: Ctrl+C, a
// closed terminal or console window, kill, logoff and shutdown. The signal
// handler (Linux) or console handler (Windows) only records the request and
// wakes a rest() under way; the run itself decides what to do at its next
// step. This is process-wide state because the platform's handlers are.
//
// Why it matters: the test routine walks the monitors through Standby, Off
// and HardOff over a minute. Stopped halfway, it would leave them dark, and
// some monitors cannot be woken again without their power button; so an
// interrupted routine sends On to every monitor before it ends.
#pragma once

#include <chrono>

namespace kelvane::interruption {

// Installs the handlers. Before it, an interruption ends the process as the
// system's default does.
void watch();

// Whether an interruption came, and the exit status the run then ends with:
// 128 + the signal's number on Linux (130 for Ctrl+C), the status a console
// program gets for Ctrl+C on Windows (STATUS_CONTROL_C_EXIT).
bool requested();
int exitStatus();

// A standard output whose reader went away stops the test routine the same
// way: exit status 128 + SIGPIPE (141) where there are signals.
void requestForClosedOutput();

// Sleeps for the given time, or until an interruption comes; at once when
// one came already.
void rest(std::chrono::milliseconds duration);

// The run now puts back what it changed (the monitors' power): a second
// interruption ends the process at once, with the same exit status.
void beginRestoring();

// Whether commands may still be sent: not after an interruption, unless
// restoring.
bool mayCommand();

// Back to no interruption, for the tests that run several routines in one
// process; the handlers stay.
void forgetForTests();

}  // namespace kelvane::interruption
