// SPDX-License-Identifier: MIT
// The test routine stopped from outside, in real time against emulated
// monitors: Ctrl+C (SIGINT) during Standby and during Off, SIGTERM, SIGHUP, a
// reader that goes away (`kelvane -t | head -3`), and a second Ctrl+C while
// the monitors are being put back on. Each run must end at once, with the
// output it had printed and nothing more, every monitor it had sent another
// mode back On, the protocol's pacing kept throughout, and the signal's exit
// status.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

const std::string kInterrupted = std::string(expected::kRoutineInterrupted) + "\n";

Launch routine() {
  Launch launch;
  launch.arguments = {"-t"};
  return launch;
}

// The signal to the routine (the first launch), this long after the launch before.
Launch signalAfter(int signal, milliseconds delay) {
  Launch launch;
  launch.signal = signal;
  launch.signalled = 0;
  launch.delay = delay;
  return launch;
}

Traffic commandsIn(const Traffic& traffic) {
  Traffic commands;
  for (const std::string& entry : traffic) {
    if (entry.compare(0, 4, "set ") == 0) {
      commands.push_back(entry);
    }
  }
  return commands;
}

struct Interruption {
  int signal;
  // Into the routine: Standby is sent about 12 s in, Suspend 23 s, Off 34 s.
  milliseconds when;
  std::size_t command;  // the command under way then
  int status;
};

void expectInterrupted(const Interruption& interruption) {
  Scene scene;
  const EmulatedDisplay& first = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  const EmulatedDisplay& second = scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 5});
  ASSERT_EQ(scene.desktop.error(), "");

  const std::vector<RunResult> results = scene.desktop.runAll(
      {routine(), signalAfter(interruption.signal, interruption.when)}, std::chrono::seconds(60));
  ASSERT_EQ(results.size(), 2u);
  const RunResult& result = results[0];
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, interruption.status);
  EXPECT_EQ(result.out, expected::routineUpTo(static_cast<int>(interruption.command)));
  EXPECT_EQ(result.err, kInterrupted);
  // Woken from its sleep at once, not at the sleep's end.
  EXPECT_LT(result.end - results[1].start, milliseconds{1000});

  Traffic expected{"set D6 1"};
  const char* sent[] = {"set D6 2", "set D6 3", "set D6 4"};
  for (std::size_t i = 1; i <= interruption.command; ++i) {
    expected.push_back(sent[i - 1]);
  }
  expected.push_back("set D6 1");
  EXPECT_EQ(commandsIn(first.traffic()), expected);
  EXPECT_EQ(commandsIn(second.traffic()), expected);
  EXPECT_EQ(first.powerMode(), 1);
  EXPECT_EQ(second.powerMode(), 1);
  scene.expectWellBehaved();
}

TEST(EmulatedInterruptedRoutineTest, CtrlCDuringStandbyPutsEveryMonitorBackOn) {
  expectInterrupted({SIGINT, milliseconds{12500}, 1, 130});
}

TEST(EmulatedInterruptedRoutineTest, CtrlCDuringOffPutsEveryMonitorBackOn) {
  expectInterrupted({SIGINT, milliseconds{34500}, 3, 130});
}

TEST(EmulatedInterruptedRoutineTest, TerminationDuringSuspendPutsEveryMonitorBackOn) {
  expectInterrupted({SIGTERM, milliseconds{23500}, 2, 143});
}

TEST(EmulatedInterruptedRoutineTest, AClosedTerminalDuringStandbyPutsEveryMonitorBackOn) {
  expectInterrupted({SIGHUP, milliseconds{13000}, 1, 129});
}

// `kelvane -t | head -3`: the fourth line, a second in, meets a closed pipe
// before any command went out, so there is nothing to put back.
TEST(EmulatedInterruptedRoutineTest, AReaderThatGoesAwayStopsTheRoutineBeforeItsNextCommand) {
  Scene scene;
  const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  ASSERT_EQ(scene.desktop.error(), "");
  Launch headed = routine();
  headed.linesRead = 3;

  const std::vector<RunResult> results = scene.desktop.runAll({headed}, std::chrono::seconds(30));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_FALSE(results[0].timedOut);
  EXPECT_EQ(results[0].exitStatus, 141);
  EXPECT_EQ(results[0].out, "Start test routine: \nStatus\nOn\n");
  EXPECT_EQ(results[0].err, "");
  EXPECT_LT(results[0].elapsed(), milliseconds{5000});
  EXPECT_EQ(commandsIn(display.traffic()), Traffic{});
  scene.expectWellBehaved();
}

// The second monitor's bus is held by another program when the routine is
// stopped, so putting it back on waits for the lock; a second Ctrl+C then
// ends the run at once, as a user who presses it twice expects.
TEST(EmulatedInterruptedRoutineTest, ASecondCtrlCWhileMonitorsArePutBackEndsTheRunAtOnce) {
  Scene scene;
  const EmulatedDisplay& first = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  const EmulatedDisplay& second = scene.connect({"card0-DP-2", true, BusLink::kAuxChild, 5});
  ASSERT_EQ(scene.desktop.error(), "");
  // Once Standby is out to both monitors.
  Launch holder;
  holder.arguments = {"flock", "/dev/i2c-5", "-c", "sleep 4"};
  holder.otherProgram = true;
  holder.afterLine = expected::kRoutineSteps[1].command;
  holder.delay = milliseconds{300};

  const std::vector<RunResult> results =
      scene.desktop.runAll({routine(), holder, signalAfter(SIGINT, milliseconds{200}),
                            signalAfter(SIGINT, milliseconds{300})},
                           std::chrono::seconds(60));
  ASSERT_EQ(results.size(), 4u);
  const RunResult& result = results[0];
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 130);
  EXPECT_EQ(result.out, expected::routineUpTo(1));
  EXPECT_EQ(result.err, "");
  EXPECT_LT(result.end - results[3].start, milliseconds{500});
  EXPECT_EQ(commandsIn(first.traffic()), (Traffic{"set D6 1", "set D6 2", "set D6 1"}));
  EXPECT_EQ(commandsIn(second.traffic()), (Traffic{"set D6 1", "set D6 2"}));
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
