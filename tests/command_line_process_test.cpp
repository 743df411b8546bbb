// SPDX-License-Identifier: MIT
// Runs a built kelvane executable and checks its exact output bytes and exit
// status. The same cases run against every build: the native one, and the
// Windows one under Wine, where lines end in CRLF.
//
// Environment: that of kelvane_process.h, and
//   KELVANE_NO_MONITOR=1  the executable finds no physical monitor where it
//                       runs, so the runs that reach the monitors can be checked too
//   KELVANE_NO_MONITOR_SAYS  what such a run then says on standard error, once:
//                       "nothing", "no-i2c-devices" (Linux without /dev/i2c-*),
//                       "no-physical-monitor" (Windows); "nothing" when unset
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_texts.h"
#include "kelvane_process.h"

namespace kelvane {
namespace {

using expected::echo;
using testing_support::ChildResult;
using testing_support::environment;
using testing_support::kUsageExitStatus;
using testing_support::lineEnds;
using testing_support::runKelvane;

const std::string kUsage = expected::kUsage;
const std::string kInvalid = expected::kInvalidArguments;
const std::string kPowerInvalid = expected::kPowerArgumentInvalid;

struct Case {
  std::vector<std::string> arguments;
  std::string output;
  int exitStatus;
  std::string err = "";
};

std::string badPower(const std::string& value) {
  return echo(value) + kPowerInvalid + echo(value) + kUsage;
}

void expectRuns(const std::vector<Case>& cases) {
  ASSERT_FALSE(environment("KELVANE_EXE").empty()) << "KELVANE_EXE is not set";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const ChildResult result = runKelvane(c.arguments);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.out, lineEnds(c.output));
    EXPECT_EQ(result.err, lineEnds(c.err));
    EXPECT_EQ(result.exitStatus, c.exitStatus);
  }
}

TEST(CommandLineProcessTest, BadInputPrintsItsErrorAndTheUsageAndEndsWithMinusOne) {
  expectRuns({
      {{}, kUsage, kUsageExitStatus},
      {{"-x"}, kInvalid + kUsage, kUsageExitStatus},
      {{"-q", "-x"}, kInvalid + kUsage, kUsageExitStatus},
      {{"-qp"}, kInvalid + kUsage, kUsageExitStatus},
      {{"--q"}, kInvalid + kUsage, kUsageExitStatus},
      {{""}, kInvalid + kUsage, kUsageExitStatus},
      {{"-p", "off"}, badPower("off"), kUsageExitStatus},
      {{"-p", "ON"}, badPower("ON"), kUsageExitStatus},
      {{"-p", "-q"}, badPower("-q"), kUsageExitStatus},
      {{"-p"}, badPower(""), kUsageExitStatus},
      {{"-p", "Off", "-p"}, echo("Off") + badPower(""), kUsageExitStatus},
      {{"-t", "-p", "Off", "-z"}, echo("Off") + kInvalid + kUsage, kUsageExitStatus},
  });
}

TEST(CommandLineProcessTest, RunsWithoutAnyMonitorComplete) {
  if (environment("KELVANE_NO_MONITOR") != "1") {
    GTEST_SKIP() << "this executable may find monitors where it runs";
  }
  const std::string says = environment("KELVANE_NO_MONITOR_SAYS");
  std::string err;
  if (says == "no-i2c-devices") {
    err = expected::kNoI2cDevices;
  } else if (says == "no-physical-monitor") {
    err = expected::kNoPhysicalMonitor;
  } else {
    ASSERT_TRUE(says.empty() || says == "nothing") << "KELVANE_NO_MONITOR_SAYS=" << says;
  }
  // Once per run, although a query and a command each look for monitors.
  const std::string noMonitor = "Error, status answer: -2\n";
  expectRuns({
      {{"-q"}, noMonitor, 0, err},
      {{"-q", "-q"}, noMonitor, 0, err},
      {{"-p", "Off"}, echo("Off"), 0, err},
      {{"-p", "Off", "-q"}, echo("Off") + noMonitor, 0, err},
      {{"-p", "On", "-p", "HardOff"}, echo("On") + echo("HardOff"), 0, err},
  });
}

}  // namespace
}  // namespace kelvane
