// SPDX-License-Identifier: MIT
// Several programs on one display bus: kelvane runs at once (a hotkey pressed
// twice), back to back (a script), and another program holding the bus with
// the same advisory lock. The displays see every process's messages, so a
// pause broken across processes shows as a violation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

using std::chrono::milliseconds;

const std::string kEchoOn = expected::echo("On");
const std::string kEchoOff = expected::echo("Off");

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

// The first moment another program gets the bus's lock, polling from now.
Clock::time_point lockedAfterwards(unsigned bus) {
  const int fd = open(("/dev/i2c-" + std::to_string(bus)).c_str(), O_RDWR | O_CLOEXEC);
  const Clock::time_point deadline = Clock::now() + milliseconds{2000};
  while (flock(fd, LOCK_EX | LOCK_NB) != 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds{200});
  }
  const Clock::time_point locked = Clock::now();
  close(fd);
  return locked;
}

// The processes of a group that are still alive: those that have ended but
// wait for whoever adopted them (init here) to reap them do not count.
int livingProcessesIn(pid_t group) {
  int living = 0;
  std::error_code failed;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", failed)) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
      continue;
    }
    // pid (comm) state ppid pgrp ...
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    char state = 0;
    pid_t parent = 0;
    pid_t processGroup = 0;
    fields >> state >> parent >> processGroup;
    living += processGroup == group && state != 'Z' ? 1 : 0;
  }
  return living;
}

// A run leaves as soon as its last exchange is done, its output ending with
// it, while a short-lived process of its own keeps the bus's lock until the
// display may take the next message, and is gone soon after.
TEST(EmulatedBusSharingTest, ARunLeavesAtItsLastExchangeWhileThePauseIsStillKept) {
  if (kUnderAddressSanitizer) {
    GTEST_SKIP() << "the sanitizers' checks at exit take longer than the pause measured here";
  }
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-p", "Off"}, std::vector<std::string>{"-q"}}) {
    SCOPED_TRACE(arguments[0]);
    Scene scene;
    const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
    const RunResult result = runKelvane(scene, arguments);
    const Clock::time_point locked = lockedAfterwards(4);

    ASSERT_TRUE(display.lastMessage());
    // Waiting out the pause before leaving would end the run, and its
    // output, no sooner than 50 ms after the last exchange.
    const Clock::time_point exchangeEnd =
        arguments[0] == "-q" ? *display.firstReply() : *display.lastMessage();
    EXPECT_LT(result.end - exchangeEnd, kMessageGap);
    EXPECT_LT(result.outEnded - exchangeEnd, kMessageGap);
    EXPECT_GE(locked - exchangeEnd, kMessageGap - milliseconds{1});
    std::this_thread::sleep_until(exchangeEnd + kMessageGap + milliseconds{100});
    EXPECT_EQ(livingProcessesIn(result.processGroup), 0);
    scene.expectWellBehaved();
  }
}

}  // namespace
}  // namespace kelvane::emulation
