// SPDX-License-Identifier: MIT
// kelvane.exe -t under Wine, with the dxva2 stand-in: the test routine in
// real time, about 67 s.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dxva2_scripted_run.h"
#include "expected_texts.h"
#include "kelvane_process.h"

namespace kelvane::dxva2_test {
namespace {

// The values each monitor was set to, in order ("123451"), and the handles
// read.
struct Commanded {
  std::map<std::string, std::string> sets;
  std::vector<std::string> reads;
};

Commanded commandedIn(const Calls& calls) {
  Commanded commanded;
  for (const std::string& call : calls) {
    std::istringstream words(call);
    std::string name;
    std::string handle;
    std::string code;
    std::string value;
    words >> name >> handle >> code >> value;
    if (name == "set") {
      commanded.sets[handle] += value;
    }
    if (name == "get") {
      commanded.reads.push_back(handle);
    }
  }
  return commanded;
}

using testing_support::lineEnds;

TEST(Dxva2RoutineTest, WalksEveryMonitorThroughEveryModeAndPrintsEachLineBeforeItsSleep) {
  const ScriptedRun run = runScripted("monitors 0x20 0x10", {"-t"});
  ASSERT_TRUE(run.result.started);
  ASSERT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitStatus, 0);
  expectWellBehaved(run);

  // Each line with the sleep that follows it, in ms.
  using expected::kStatusHeading;
  std::vector<std::pair<std::string, int>> lines{
      {expected::kRoutineStart, 0}, {kStatusHeading, 0}, {"On", 1000}};
  for (const auto& [command, status] : expected::kRoutineSteps) {
    lines.insert(lines.end(), {{command, 5000},
                               {kStatusHeading, 0},
                               {status, 5000},
                               {kStatusHeading, 0},
                               {status, 1000}});
  }
  lines.emplace_back(expected::kRoutineEnd, 0);
  ASSERT_EQ(lines.size(), 34U);

  std::string out;
  for (const auto& line : lines) {
    out += line.first + "\n";
  }
  ASSERT_EQ(run.result.out, lineEnds(out));
  ASSERT_EQ(run.result.lines.size(), lines.size());
  // A line held back in a buffer would arrive with the next one, after the
  // sleep, instead of a sleep's length before it.
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(
                         run.result.lines[i + 1].arrived - run.result.lines[i].arrived)
                         .count();
    SCOPED_TRACE(testing::Message() << "after \"" << lines[i].first << "\": " << gap << " ms");
    EXPECT_GE(gap, lines[i].second - 250);
    EXPECT_LE(gap, lines[i].second + 1500);
  }

  const Commanded commanded = commandedIn(run.calls);
  EXPECT_EQ(commanded.sets,
            (std::map<std::string, std::string>{{"0x10", "123451"}, {"0x20", "123451"}}));
  EXPECT_EQ(commanded.reads, std::vector<std::string>(13, "0x10"));
  // One monitor set for the whole routine.
  EXPECT_EQ(std::count_if(run.calls.begin(), run.calls.end(),
                          [](const std::string& call) { return call.rfind("count ", 0) == 0; }),
            1);
}

// Ctrl+C during Standby: Wine turns the SIGINT into the console's Ctrl+C
// event, which the program's console handler takes as a person's Ctrl+C in
// a console window. The routine stops there and sends every monitor On.
TEST(Dxva2RoutineTest, CtrlCDuringStandbySendsEveryMonitorOnAndEndsAsCtrlCDoes) {
  testing_support::ChildOptions options;
  options.signalOnLine = SIGINT;
  options.signalledLine = expected::kRoutineSteps[1].command;
  const ScriptedRun run = runScripted("monitors 0x20 0x10", {"-t"}, "", options);
  ASSERT_TRUE(run.result.started);
  ASSERT_FALSE(run.result.timedOut);
  // STATUS_CONTROL_C_EXIT, 0xC000013A, of which a POSIX parent sees the low byte.
  EXPECT_EQ(run.result.exitStatus, 0x3A);
  expectWellBehaved(run, std::string(expected::kRoutineInterrupted) + "\n");
  const std::string out = expected::routineUpTo(1);
  EXPECT_EQ(run.result.out, lineEnds(out));
  // Woken from the routine's 5 s sleep at once.
  EXPECT_LT(run.result.end - run.result.signalled, std::chrono::milliseconds{3000});

  std::map<std::string, std::string> setsPerMonitor = commandedIn(run.calls).sets;
  // The signal comes as soon as the Standby line is out, maybe before the
  // second monitor was sent Standby: then it is not sent it at all.
  EXPECT_EQ(setsPerMonitor["0x10"], "121");
  EXPECT_TRUE(setsPerMonitor["0x20"] == "121" || setsPerMonitor["0x20"] == "11")
      << setsPerMonitor["0x20"];
}

}  // namespace
}  // namespace kelvane::dxva2_test
