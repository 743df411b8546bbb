// SPDX-License-Identifier: MIT
// The test routine in real time (about 67 s) against an emulated monitor:
// the whole sequence, and every line on the pipe before the sleep after it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

struct ExpectedLine {
  std::string text;
  // How long the program sleeps after printing it.
  milliseconds sleepAfter;
};

std::vector<ExpectedLine> expectedRoutine() {
  const milliseconds none{0};
  const milliseconds shortPause{1000};
  const milliseconds longPause{5000};
  std::vector<ExpectedLine> lines{
      {"Start test routine: ", none}, {"Status", none}, {"On", shortPause}};
  for (const auto& [label, status] : expected::kRoutineSteps) {
    lines.push_back({label, longPause});
    lines.push_back({"Status", none});
    lines.push_back({status, longPause});
    lines.push_back({"Status", none});
    lines.push_back({status, shortPause});
  }
  lines.push_back({"End test routine: ", none});
  return lines;
}

TEST(EmulatedRoutineTest, RunsTheWholeSequenceAndPrintsEachLineBeforeSleeping) {
  Scene scene;
  const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  ASSERT_EQ(scene.desktop.error(), "");

  // A hotkey pressed during the routine: the routine lets go of the bus
  // while it sleeps, so the other run gets through at once, not after the
  // lock's timeout.
  Launch routine;
  routine.arguments = {"-t"};
  Launch hotkey;
  hotkey.arguments = {"-p", "On"};
  hotkey.delay = milliseconds{3000};
  const std::vector<RunResult> results =
      scene.desktop.runAll({routine, hotkey}, std::chrono::seconds(100));
  ASSERT_EQ(results.size(), 2u);
  const RunResult& result = results[0];
  ASSERT_TRUE(result.started) << "set KELVANE_EXE to the kelvane executable";
  EXPECT_FALSE(results[1].timedOut);
  EXPECT_EQ(results[1].exitStatus, 0);
  EXPECT_EQ(results[1].out, "Option: -p, value: On\n");
  EXPECT_EQ(results[1].err, "");
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");

  const std::vector<ExpectedLine> expected = expectedRoutine();
  std::vector<std::string> texts;
  texts.reserve(result.lines.size());
  for (const OutputLine& line : result.lines) {
    texts.push_back(line.text);
  }
  std::vector<std::string> expectedTexts;
  expectedTexts.reserve(expected.size());
  for (const ExpectedLine& line : expected) {
    expectedTexts.push_back(line.text);
  }
  ASSERT_EQ(texts, expectedTexts);

  // A line held back in a buffer would arrive together with the next one,
  // after the sleep, instead of a sleep's length before it.
  const milliseconds jitter{250};
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
    const auto gap = std::chrono::duration_cast<milliseconds>(result.lines[i + 1].arrived -
                                                              result.lines[i].arrived);
    SCOPED_TRACE(testing::Message() << "after line " << i << " \"" << expected[i].text << "\", "
                                    << gap.count() << " ms");
    EXPECT_GE(gap, expected[i].sleepAfter - jitter);
    EXPECT_LE(gap, expected[i].sleepAfter + milliseconds{1500});
  }

  Traffic commands;
  int reads = 0;
  for (const std::string& entry : display.traffic()) {
    if (entry.compare(0, 4, "set ") == 0) {
      commands.push_back(entry);
    }
    reads += entry == "get D6" ? 1 : 0;
  }
  // The hotkey's command comes during the first command's pause.
  EXPECT_EQ(commands, (Traffic{"set D6 1", "set D6 1", "set D6 2", "set D6 3", "set D6 4",
                               "set D6 5", "set D6 1"}));
  EXPECT_EQ(reads, 13);
  scene.expectWellBehaved();
}

// Another program holds the bus before the routine starts, and again for 5 s
// in its middle: each step that finds the bus held fails alone, after the
// lock's timeout, and the next step tries again, so that the monitor still
// gets every later command and ends On.
TEST(EmulatedRoutineTest, ABusHeldByAnotherProgramFailsOnlyTheStepsThatFindItHeld) {
  Scene scene;
  const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  ASSERT_EQ(scene.desktop.error(), "");
  const auto holdBus = [](const std::string& seconds, milliseconds delay) {
    Launch launch;
    launch.arguments = {"flock", "/dev/i2c-4", "-c", "echo locked; sleep " + seconds};
    launch.otherProgram = true;
    launch.holdOthersUntilItPrints = true;
    launch.delay = delay;
    return launch;
  };
  Launch routine;
  routine.arguments = {"-t"};
  // The first query waits out the lock's 2 s and fails; the first command,
  // a second later, finds the bus free. The routine then runs 2 s behind:
  // the second hold (28 to 33 s) takes in the query of about 30 s, and no
  // command.
  const std::vector<RunResult> results = scene.desktop.runAll(
      {holdBus("3", milliseconds{0}), routine, holdBus("5", milliseconds{28000})},
      std::chrono::seconds(120));
  ASSERT_EQ(results.size(), 3u);
  const RunResult& result = results[1];
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "kelvane: card0-DP-1 (/dev/i2c-4)" + kBusBusy);

  std::vector<std::string> statuses;
  for (const OutputLine& line : result.lines) {
    if (line.text != "Status" && line.text.compare(0, 8, "Command:") != 0 &&
        line.text.compare(0, 5, "Start") != 0 && line.text.compare(0, 3, "End") != 0) {
      statuses.push_back(line.text);
    }
  }
  EXPECT_EQ(statuses, (std::vector<std::string>{
                          "Disconected", "On", "On", "Error, status answer: 2",
                          "Error, status answer: 2", "Disconected", "Error, status answer: 3",
                          "Error, status answer: 4", "Error, status answer: 4",
                          "Error, status answer: 5", "Error, status answer: 5", "On", "On"}));
  Traffic commands;
  for (const std::string& entry : display.traffic()) {
    if (entry.compare(0, 4, "set ") == 0) {
      commands.push_back(entry);
    }
  }
  EXPECT_EQ(commands,
            (Traffic{"set D6 1", "set D6 2", "set D6 3", "set D6 4", "set D6 5", "set D6 1"}));
  EXPECT_EQ(display.powerMode(), 1);
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
