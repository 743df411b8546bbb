// SPDX-License-Identifier: MIT
// The real kelvane executable started the way careless callers start it:
// with a standard descriptor closed (hotkey daemons, services), and with a
// reader of its output that goes away early (`| head -1`). Neither may cost
// a command, and no text may ever reach a display's bus.
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

const std::string kEchoOff = expected::echo("Off");

TEST(EmulatedCarelessCallerTest, AClosedStandardDescriptorIsNeverTakenByADisplaysBus) {
  struct Case {
    const char* what;
    std::set<int> closed;
  };
  const Case cases[] = {
      {"standard input closed", {STDIN_FILENO}},
      {"standard output closed", {STDOUT_FILENO}},
      {"standard error closed", {STDERR_FILENO}},
      {"all three closed", {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    const EmulatedDisplay& first = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
    // Refuses everything, so that there is a diagnostic line to write too.
    DisplayBehaviour off;
    off.naks = true;
    const EmulatedDisplay& second =
        scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 5}, off);
    ASSERT_EQ(scene.desktop.error(), "");
    Launch launch;
    launch.arguments = {"-q", "-p", "Off"};
    launch.closedDescriptors = c.closed;

    const std::vector<RunResult> results = scene.desktop.runAll({launch}, runTimeout());
    ASSERT_EQ(results.size(), 1u);
    const RunResult& result = results[0];
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, c.closed.count(STDOUT_FILENO) != 0 ? "" : kEchoOff + "On\n");
    EXPECT_EQ(result.err, c.closed.count(STDERR_FILENO) != 0
                              ? ""
                              : "kelvane: card0-HDMI-A-1 (/dev/i2c-5)" + kNoAnswer);
    EXPECT_EQ(first.traffic(), (Traffic{"open", "get D6", "set D6 4"}));
    EXPECT_EQ(second.traffic(), (Traffic{"open", "set D6 4", "set D6 4"}));
    EXPECT_EQ(first.powerMode(), 4);
    // A status line or a diagnostic written to a bus shows here as a frame
    // that is no DDC/CI frame, or a write before any address was chosen.
    scene.expectWellBehaved();
  }
}

TEST(EmulatedCarelessCallerTest, AReaderThatGoesAwayCostsTheOutputButNoCommand) {
  Scene scene;
  const EmulatedDisplay& first = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  const EmulatedDisplay& second = scene.connect({"card0-DP-2", true, BusLink::kAuxChild, 5});
  ASSERT_EQ(scene.desktop.error(), "");
  Launch launch;
  launch.arguments = {"-q", "-p", "Off"};
  launch.linesRead = 1;  // kelvane -q -p Off | head -1

  const std::vector<RunResult> results = scene.desktop.runAll({launch}, runTimeout());
  ASSERT_EQ(results.size(), 1u);
  const RunResult& result = results[0];
  EXPECT_FALSE(result.timedOut);
  // Not killed by SIGPIPE: the status line is lost, the run is not.
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kEchoOff);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(first.traffic(), (Traffic{"open", "get D6", "set D6 4"}));
  EXPECT_EQ(second.traffic(), (Traffic{"open", "set D6 4"}));
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
