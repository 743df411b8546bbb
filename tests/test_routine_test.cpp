// SPDX-License-Identifier: MIT
#include "app/test_routine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "expected_texts.h"
#include "fake_platform.h"
#include "monitors/interruption.h"
#include "recording_stream.h"

namespace kelvane {
namespace {

using Log = std::vector<std::string>;
using testing_support::RecordingStream;

class TestRoutineTest : public testing::Test {
 protected:
  void SetUp() override {
    fake::platform().reset();
    interruption::watch();
  }
  void TearDown() override { interruption::forgetForTests(); }
  fake::Platform& platform = fake::platform();
};

// Told that the routine was interrupted.
struct InterruptionCounter final : FailureReporter {
  void report(const platform::Failure&) override {}
  void reportInterruptedRoutine() override { ++told; }
  int told = 0;
};

// Stops the routine as SIGINT, SIGTERM and SIGHUP do, in one of its sleeps
// (the first after the opening status, then three for each command).
TEST_F(TestRoutineTest, AnInterruptionStopsWhereItIsAndPutsBackOnlyWhatWasSentAnotherMode) {
  struct Case {
    const char* what;
    int signal;
    std::size_t sleep;
    int status;
    int lastCommand;  // the index of the last command printed, -1 for none
    Log sets;         // those the first monitor gets
  };
  const Case cases[] = {
      {"Ctrl+C before the first command", SIGINT, 1, 130, -1, {}},
      {"Ctrl+C after the opening On: nothing to put back", SIGINT, 2, 130, 0, {"set 0x10 1"}},
      {"kill during Standby", SIGTERM, 5, 143, 1, {"set 0x10 1", "set 0x10 2", "set 0x10 1"}},
      {"a closed terminal during HardOff",
       SIGHUP,
       14,
       129,
       4,
       {"set 0x10 1", "set 0x10 2", "set 0x10 3", "set 0x10 4", "set 0x10 5", "set 0x10 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    platform.displays = {fake::displayWith({0x20, 0x10})};
    platform.signalDuringSleep = c.signal;
    platform.signalledSleep = c.sleep;
    RecordingStream out;
    InterruptionCounter reporter;

    EXPECT_EQ(runTestRoutine(out.stream(), &reporter), c.status);
    EXPECT_EQ(out.text(), expected::routineUpTo(c.lastCommand));
    Log sets;
    for (const std::string& entry : platform.log) {
      if (entry.rfind("set 0x10", 0) == 0) {
        sets.push_back(entry);
      }
    }
    EXPECT_EQ(sets, c.sets);
    // The second monitor is put back on too, after the first.
    EXPECT_EQ(std::count(platform.log.begin(), platform.log.end(), "set 0x20 1"),
              std::count(sets.begin(), sets.end(), "set 0x10 1"));
    const bool restored = c.lastCommand >= 1;
    EXPECT_EQ(reporter.told, restored ? 1 : 0);
    EXPECT_TRUE(platform.open.empty());
    TearDown();
  }
}

// A query and a command that Ctrl+C interrupts: the exchange under way ends,
// nothing more is printed or sent, and nothing is put back.
TEST_F(TestRoutineTest, AnInterruptedQuerySendsNoCommandAfterIt) {
  platform.displays = {fake::displayWith({0x10})};
  RunRequest request;
  request.query = request.power = true;
  request.powerMode = PowerMode::kOff;
  static_cast<void>(kill(getpid(), SIGINT));  // as Ctrl+C would
  RecordingStream out;
  EXPECT_EQ(runRequest(request, out.stream()), 130);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(platform.log, (Log{"enumerate", "count D1", "fill D1 1", "get 0x10", "destroy 0x10"}));
}

// The routine's calls for one command, with monitors 0x10 and 0x20.
Log commandCalls(const std::string& code) {
  return {"set 0x10 " + code, "set 0x20 " + code, "sleep 5000", "get 0x10",
          "sleep 5000",       "get 0x10",         "sleep 1000"};
}

Log routineCalls() {
  Log log{"enumerate", "count D1", "fill D1 2", "get 0x10", "sleep 1000"};
  for (const char* code : {"1", "2", "3", "4", "5", "1"}) {
    const Log calls = commandCalls(code);
    log.insert(log.end(), calls.begin(), calls.end());
  }
  log.insert(log.end(), {"destroy 0x10", "destroy 0x20"});
  return log;
}

TEST_F(TestRoutineTest, WalksEveryMonitorThroughEachModeWithOneMonitorSet) {
  platform.displays = {fake::displayWith({0x20, 0x10})};
  platform.monitors[0x10] = fake::answering(4);  // off before the routine starts
  RecordingStream out;
  runTestRoutine(out.stream());
  EXPECT_EQ(out.text(),
            "Start test routine: \n"
            "Status\nError, status answer: 4\n"
            "Command: ON \n"
            "Status\nOn\nStatus\nOn\n"
            "Command: Standby \n"
            "Status\nError, status answer: 2\nStatus\nError, status answer: 2\n"
            "Command: Suspend \n"
            "Status\nError, status answer: 3\nStatus\nError, status answer: 3\n"
            "Command: Off \n"
            "Status\nError, status answer: 4\nStatus\nError, status answer: 4\n"
            "Command: HardOff \n"
            "Status\nError, status answer: 5\nStatus\nError, status answer: 5\n"
            "Command: On \n"
            "Status\nOn\nStatus\nOn\n"
            "End test routine: \n");
  EXPECT_TRUE(out.everyLineFlushed());
  EXPECT_EQ(platform.log, routineCalls());
  EXPECT_TRUE(platform.open.empty());
}

TEST_F(TestRoutineTest, ReplacesTheQueryAndCommandOfTheSameRun) {
  platform.displays = {fake::displayWith({0x20, 0x10})};
  RunRequest request;
  request.test = request.query = request.power = true;
  request.powerMode = PowerMode::kOff;
  RecordingStream out;
  runRequest(request, out.stream());
  EXPECT_EQ(platform.log, routineCalls());
}

TEST_F(TestRoutineTest, RunsToTheEndWithoutMonitorsOrWithAnUnreadableOne) {
  struct Case {
    std::vector<fake::DisplayMonitor> displays;
    const char* statusLine;
  };
  const Case cases[] = {
      {{}, "Error, status answer: -2\n"},
      {{fake::displayWith({0x10})}, "Disconected\n"},
  };
  for (const Case& c : cases) {
    platform.reset();
    platform.displays = c.displays;
    platform.monitors[0x10] = fake::failingRead();
    RecordingStream out;
    runTestRoutine(out.stream());
    const std::string status = std::string(expected::kStatusHeading) + "\n" + c.statusLine;
    std::string wanted = std::string(expected::kRoutineStart) + "\n" + status;
    for (const expected::RoutineStep& step : expected::kRoutineSteps) {
      wanted.append(step.command).append("\n").append(status).append(status);
    }
    wanted += std::string(expected::kRoutineEnd) + "\n";
    EXPECT_EQ(out.text(), wanted);
    EXPECT_EQ(std::count(platform.log.begin(), platform.log.end(), "sleep 5000"), 12);
    EXPECT_EQ(std::count(platform.log.begin(), platform.log.end(), "sleep 1000"), 7);
  }
}

}  // namespace
}  // namespace kelvane
