#include "app/test_routine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "expected_texts.h"
#include "fake_platform.h"
#include "recording_stream.h"

namespace kelvane {
namespace {

using Log = std::vector<std::string>;
using testing_support::RecordingStream;

class TestRoutineTest : public testing::Test {
 protected:
  void SetUp() override { fake::platform().reset(); }
  fake::Platform& platform = fake::platform();
};

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
