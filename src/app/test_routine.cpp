#include "app/test_routine.h"

#include <cstdint>
#include <string_view>

#include "app/console_reports.h"
#include "monitors/monitors.h"
#include "monitors/platform.h"

namespace kelvane {
namespace {

struct TestCommand {
  std::string_view label;
  PowerModeCode code;
};

constexpr TestCommand kTestCommands[] = {
    {"Command: ON ", 1},  {"Command: Standby ", 2}, {"Command: Suspend ", 3},
    {"Command: Off ", 4}, {"Command: HardOff ", 5}, {"Command: On ", 1},
};

// Long enough for a monitor to finish changing mode (a wake from off can take
// seconds) before its state is read, and read twice to catch a late change.
constexpr std::uint32_t kSettleMilliseconds = 5000;
constexpr std::uint32_t kPauseMilliseconds = 1000;

void printStatusBlock(std::ostream& out, const Monitors& monitors) {
  printLine(out, "Status");
  printStatus(out, monitors.queryPowerMode());
}

}  // namespace

void runTestRoutine(std::ostream& out, FailureReporter* reporter) {
  printLine(out, "Start test routine: ");
  const Monitors monitors(reporter);
  printStatusBlock(out, monitors);
  platform::sleepMilliseconds(kPauseMilliseconds);
  for (const TestCommand& command : kTestCommands) {
    printLine(out, command.label);
    monitors.setPowerMode(command.code);
    platform::sleepMilliseconds(kSettleMilliseconds);
    printStatusBlock(out, monitors);
    platform::sleepMilliseconds(kSettleMilliseconds);
    printStatusBlock(out, monitors);
    platform::sleepMilliseconds(kPauseMilliseconds);
  }
  printLine(out, "End test routine: ");
}

}  // namespace kelvane
