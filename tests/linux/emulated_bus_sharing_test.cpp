// Several programs on one display bus: kelvane runs at once (a hotkey pressed
// twice), back to back (a script), and another program holding the bus with
// the same advisory lock. The displays see every process's messages, so a
// pause broken across processes shows as a violation.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

const std::string kEchoOn = "Option: -p, value: On\n";
const std::string kEchoOff = "Option: -p, value: Off\n";

Launch kelvane(std::vector<std::string> arguments) {
  Launch launch;
  launch.arguments = std::move(arguments);
  return launch;
}

// util-linux flock(1) on the display's device node: another program that
// locks the bus the same way, for as long as it sleeps.
Launch holdBus(unsigned bus, const std::string& seconds) {
  Launch launch;
  launch.arguments = {"flock", "/dev/i2c-" + std::to_string(bus), "-c",
                      "echo locked; sleep " + seconds};
  launch.otherProgram = true;
  launch.holdOthersUntilItPrints = true;
  return launch;
}

void expectCompleted(const RunResult& result, const std::string& out, const std::string& err = "") {
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.out, out);
}

TEST(EmulatedBusSharingTest, RunsAtOnceKeepThePauseBetweenTheirMessages) {
  Scene scene;
  const EmulatedDisplay& first = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  const EmulatedDisplay& second = scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 5});
  ASSERT_EQ(scene.desktop.error(), "");

  const std::vector<RunResult> results =
      scene.desktop.runAll({kelvane({"-q", "-p", "On"}), kelvane({"-p", "On"}), kelvane({"-q"}),
                            kelvane({"-p", "On"}), kelvane({"-q", "-p", "On"})},
                           runTimeout());
  ASSERT_EQ(results.size(), 5u);
  expectCompleted(results[0], kEchoOn + "On\n");
  expectCompleted(results[1], kEchoOn);
  expectCompleted(results[2], "On\n");
  expectCompleted(results[3], kEchoOn);
  expectCompleted(results[4], kEchoOn + "On\n");
  EXPECT_EQ(countOf(first.traffic(), "get D6"), 3);
  EXPECT_EQ(countOf(first.traffic(), "set D6 1"), 4);
  EXPECT_EQ(countOf(second.traffic(), "get D6"), 0);
  EXPECT_EQ(countOf(second.traffic(), "set D6 1"), 4);
  scene.expectWellBehaved();
}

TEST(EmulatedBusSharingTest, BackToBackRunsKeepThePauseAfterTheLastMessage) {
  Scene scene;
  const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  ASSERT_EQ(scene.desktop.error(), "");

  // Each run starts as soon as the one before has ended, as in a script.
  EXPECT_EQ(runKelvane(scene, {"-p", "Off"}).out, kEchoOff);
  EXPECT_EQ(runKelvane(scene, {"-q"}).out, "Error, status answer: 4\n");
  EXPECT_EQ(runKelvane(scene, {"-p", "On"}).out, kEchoOn);
  EXPECT_EQ(runKelvane(scene, {"-q"}).out, "On\n");
  EXPECT_EQ(display.traffic(),
            (Traffic{"open", "set D6 4", "open", "get D6", "open", "set D6 1", "open", "get D6"}));
  scene.expectWellBehaved();
}

TEST(EmulatedBusSharingTest, ARunWaitsForAnotherProgramThatHoldsTheBus) {
  Scene scene;
  const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  ASSERT_EQ(scene.desktop.error(), "");

  const std::vector<RunResult> results =
      scene.desktop.runAll({holdBus(4, "0.4"), kelvane({"-q"})}, runTimeout());
  ASSERT_EQ(results.size(), 2u);
  expectCompleted(results[0], "locked\n");
  expectCompleted(results[1], "On\n");
  // kelvane started while the bus was held, and spoke only once it was free.
  ASSERT_TRUE(display.firstMessage());
  EXPECT_GE(*display.firstMessage() - results[1].start, milliseconds{300});
  EXPECT_EQ(countOf(display.traffic(), "get D6"), 1);
  scene.expectWellBehaved();
}

TEST(EmulatedBusSharingTest, ABusHeldTooLongFailsItsMonitorOnlyAndDoesNotHang) {
  Scene scene;
  const EmulatedDisplay& held = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  const EmulatedDisplay& free = scene.connect({"card0-DP-2", true, BusLink::kAuxChild, 5});
  ASSERT_EQ(scene.desktop.error(), "");

  const std::vector<RunResult> results =
      scene.desktop.runAll({holdBus(4, "5"), kelvane({"-q", "-p", "Off"})}, runTimeout());
  ASSERT_EQ(results.size(), 2u);
  expectCompleted(results[1], kEchoOff + "Disconected\n",
                  "kelvane: card0-DP-1 (/dev/i2c-4)" + kBusBusy);
  // It gave up after waiting for the lock once, not once per message.
  EXPECT_GE(results[1].elapsed(), milliseconds{1900});
  EXPECT_LT(results[1].end, results[0].end);
  EXPECT_EQ(held.traffic(), (Traffic{"open", "open"}));  // the holder's and kelvane's
  EXPECT_EQ(free.traffic(), (Traffic{"open", "set D6 4"}));
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
