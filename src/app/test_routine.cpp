// SPDX-License-Identifier: MIT
#include "app/test_routine.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/console_reports.h"
#include "monitors/interruption.h"
#include "monitors/monitors.h"
#include "monitors/platform.h"
#include "monitors/power_mode.h"

namespace kelvane {
namespace {

// Every mode once, from on back to on.
constexpr PowerMode kTestSequence[] = {
    PowerMode::kOn,  PowerMode::kStandby, PowerMode::kSuspend,
    PowerMode::kOff, PowerMode::kHardOff, PowerMode::kOn,
};

// Long enough for a monitor to finish changing mode (a wake from off can take
// seconds) before its state is read, and read twice to catch a late change.
constexpr std::uint32_t kSettleMilliseconds = 5000;
constexpr std::uint32_t kPauseMilliseconds = 1000;

// Prints one line of the routine, unless it was interrupted: nothing is added
// to what it printed before. A standard output whose reader has gone (as
// after `kelvane -t | head -3`) interrupts it too.
bool say(std::ostream& out, std::string_view line) {
  if (interruption::requested()) {
    return false;
  }
  printLine(out, line);
  if (!out) {
    interruption::requestForClosedOutput();
    return false;
  }
  return true;
}

bool statusBlock(std::ostream& out, const Monitors& monitors) {
  if (!say(out, kStatusHeadingLine)) {
    return false;
  }
  const StatusValue status = monitors.queryPowerMode();
  return say(out, statusLine(status));
}

// A pause that an interruption cuts short; false when one came.
bool pause(std::uint32_t milliseconds) {
  platform::sleepMilliseconds(milliseconds);
  return !interruption::requested();
}

}  // namespace

int runTestRoutine(std::ostream& out, FailureReporter* reporter) {
  if (!say(out, kTestRoutineStartLine)) {
    return interruption::exitStatus();
  }
  const Monitors monitors(reporter);
  bool going = statusBlock(out, monitors) && pause(kPauseMilliseconds);
  bool opening = true;
  std::optional<PowerMode> lastSent;
  for (const PowerMode mode : kTestSequence) {
    going = going && say(out, testCommandLine(mode, opening));
    if (!going) {
      break;
    }
    opening = false;
    monitors.setPowerMode(mode);
    lastSent = mode;
    going = pause(kSettleMilliseconds) && statusBlock(out, monitors) &&
            pause(kSettleMilliseconds) && statusBlock(out, monitors) && pause(kPauseMilliseconds);
  }
  if (going && say(out, kTestRoutineEndLine)) {
    return 0;
  }
  // Stopped halfway: a monitor left in Standby, Off or HardOff may not wake
  // again without its power button. Every wait and lock rule still holds.
  if (lastSent && *lastSent != PowerMode::kOn) {
    interruption::beginRestoring();
    monitors.setPowerMode(PowerMode::kOn);
    if (reporter != nullptr) {
      reporter->reportInterruptedRoutine();
    }
  }
  return interruption::exitStatus();
}

}  // namespace kelvane
