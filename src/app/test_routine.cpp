#include "app/test_routine.h"

#include <cstdint>

#include "app/console_reports.h"
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

void printStatusBlock(std::ostream& out, const Monitors& monitors) {
  printLine(out, kStatusHeadingLine);
  printStatus(out, monitors.queryPowerMode());
}

}  // namespace

void runTestRoutine(std::ostream& out, FailureReporter* reporter) {
  printLine(out, kTestRoutineStartLine);
  const Monitors monitors(reporter);
  printStatusBlock(out, monitors);
  platform::sleepMilliseconds(kPauseMilliseconds);
  bool opening = true;
  for (const PowerMode mode : kTestSequence) {
    printLine(out, testCommandLine(mode, opening));
    opening = false;
    monitors.setPowerMode(mode);
    platform::sleepMilliseconds(kSettleMilliseconds);
    printStatusBlock(out, monitors);
    platform::sleepMilliseconds(kSettleMilliseconds);
    printStatusBlock(out, monitors);
    platform::sleepMilliseconds(kPauseMilliseconds);
  }
  printLine(out, kTestRoutineEndLine);
}

}  // namespace kelvane
