// SPDX-License-Identifier: MIT
// The real kelvane executable against emulated monitors in a fake sysfs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

const std::string kEcho = expected::echo("Off");

TEST(EmulatedMonitorTest, QueryPrintsThePowerModeTheMonitorReports) {
  struct Case {
    BusLink link;
    std::uint16_t powerMode;
    std::string line;
  };
  const Case cases[] = {
      {BusLink::kDdcSymlink, 1, "On\n"},
      {BusLink::kDdcSymlink, 4, "Error, status answer: 4\n"},
      {BusLink::kDdcSymlink, 2, "Error, status answer: 2\n"},
      {BusLink::kAuxChild, 1, "On\n"},
      {BusLink::kAuxChild, 5, "Error, status answer: 5\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "power mode " << c.powerMode << ", link " << static_cast<int>(c.link));
    Scene scene;
    DisplayBehaviour behaviour;
    behaviour.powerMode = c.powerMode;
    const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, c.link, 4}, behaviour);

    EXPECT_EQ(runKelvane(scene, {"-q"}).out, c.line);
    EXPECT_EQ(display.traffic(), (Traffic{"open", "get D6"}));
    scene.expectWellBehaved();
  }
}

TEST(EmulatedMonitorTest, CommandsReachEveryMonitorOnceInOrderAndOnlyTheFirstIsQueried) {
  Scene scene;
  // Added out of order: the program sorts by card, then by connector name.
  scene.connect({"card1-DP-1", true, BusLink::kAuxChild, 7});
  scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 3});
  scene.connect({"card0-DP-10", true, BusLink::kAuxChild, 4});
  scene.connect({"card0-DP-2", true, BusLink::kDdcSymlink, 5});
  scene.connect({"card0-eDP-1", true, BusLink::kNone, 0});
  const EmulatedDisplay& unplugged = scene.guard({"card0-DP-3", false, BusLink::kDdcSymlink, 6});
  const EmulatedDisplay& unplugged2 = scene.guard({"card0-DP-4", false, BusLink::kAuxChild, 8});
  const EmulatedDisplay& smbus = scene.guardOtherBus(0);

  EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEcho + "On\n");
  EXPECT_EQ(messagesIn(scene.desktop.journal()),
            (Traffic{"i2c-5 get D6",  // the first only
                     "i2c-5 set D6 4", "i2c-4 set D6 4", "i2c-3 set D6 4", "i2c-7 set D6 4"}));
  // Each bus is opened once for the whole run, query and command alike.
  for (const EmulatedDisplay& display : scene.displays) {
    EXPECT_LE(countOf(display.traffic(), "open"), 1);
  }
  EXPECT_EQ(unplugged.traffic(), Traffic{});
  EXPECT_EQ(unplugged2.traffic(), Traffic{});
  EXPECT_EQ(smbus.traffic(), Traffic{});
  scene.expectWellBehaved();
}

TEST(EmulatedMonitorTest, QueryShowsTheStateBeforeTheCommandOfTheSameRun) {
  Scene scene;
  DisplayBehaviour standby;
  standby.powerMode = 2;
  const EmulatedDisplay& display =
      scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 3}, standby);

  // The Set follows the Get on the same bus within 50 ms unless the program
  // paces it; the display reports that as a violation.
  EXPECT_EQ(runKelvane(scene, {"-p", "On", "-q"}).out,
            "Option: -p, value: On\nError, status answer: 2\n");
  EXPECT_EQ(display.traffic(), (Traffic{"open", "get D6", "set D6 1"}));
  EXPECT_EQ(display.powerMode(), 1);
  scene.expectWellBehaved();
}

TEST(EmulatedMonitorTest, ReadsThatClearAfterRetriesStillAnswer) {
  struct Case {
    const char* what = "";
    DisplayBehaviour behaviour;
    // How many Get requests the display must see at least: one for each
    // faulty reply, and the one answered. A slow display's count depends on
    // how late a loaded machine wakes from the reply wait: at least one.
    int minimumGets = 0;
  };
  std::vector<Case> cases(4);
  cases[0] = {"two null messages first", {}, 3};
  cases[0].behaviour.fault = ReplyFault::kNullMessage;
  cases[0].behaviour.faultyReplies = 2;
  cases[1] = {"two bad checksums first", {}, 3};
  cases[1].behaviour.fault = ReplyFault::kBadChecksum;
  cases[1].behaviour.faultyReplies = 2;
  cases[2] = {"needs 100 ms to reply", {}, 1};
  cases[2].behaviour.readyAfter = milliseconds{100};
  cases[3] = {"needs 200 ms to reply", {}, 1};
  cases[3].behaviour.readyAfter = milliseconds{200};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    const EmulatedDisplay& display =
        scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4}, c.behaviour);

    EXPECT_EQ(runKelvane(scene, {"-q"}).out, "On\n");
    EXPECT_GE(countOf(display.traffic(), "get D6"), c.minimumGets);
    scene.expectWellBehaved();
  }
}

// The first monitor fails the read in one way or another: the query reports
// it as a failed read within a bounded time, and the command still reaches
// the other monitor.
TEST(EmulatedMonitorTest, AFailingMonitorReadsAsDisconectedAndDoesNotStopTheOthers) {
  struct Case {
    const char* what = "";
    DisplayBehaviour behaviour;
    int minimumGets = 0;
    int maximumGets = 0;
    std::string err;  // for card0-DP-1 (/dev/i2c-4), once for the query and the command
  };
  const auto failing = [](ReplyFault fault) {
    DisplayBehaviour behaviour;
    behaviour.fault = fault;
    behaviour.faultyReplies = kAlways;
    return behaviour;
  };
  DisplayBehaviour naks;
  naks.naks = true;
  DisplayBehaviour unsupported;
  unsupported.supportsPowerMode = false;
  DisplayBehaviour vanishes;
  vanishes.vanishesAfterOpen = true;
  const Case cases[] = {
      // A refusal is asked once more, as a display still waking may refuse
      // once; a second one is a definite answer.
      {"NAK", naks, 2, 2, kNoAnswer},
      // A definite answer: asking again would change nothing.
      {"unsupported code", unsupported, 1, 1, kUnsupported},
      // Garbage: retried a bounded number of times.
      {"endless null messages", failing(ReplyFault::kNullMessage), 2, 10, kNoValidReply},
      {"endless bad checksums", failing(ReplyFault::kBadChecksum), 2, 10, kNoValidReply},
      {"all-zero buffer", failing(ReplyFault::kAllZero), 2, 10, kNoValidReply},
      {"short reply", failing(ReplyFault::kShort), 2, 10, kNoValidReply},
      {"wrong echoed code", failing(ReplyFault::kWrongCode), 2, 10, kNoValidReply},
      {"the read fails (EPROTO over AUX)", failing(ReplyFault::kReadFails), 2, 10, kNoValidReply},
      // Gone between enumeration and the query: nothing reaches it any more.
      {"device disappears", vanishes, 0, 0, kDeviceMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    const EmulatedDisplay& faulty =
        scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4}, c.behaviour);
    const EmulatedDisplay& healthy = scene.connect({"card0-DP-2", true, BusLink::kAuxChild, 5});

    const RunResult result =
        runKelvane(scene, {"-q", "-p", "Off"}, "kelvane: card0-DP-1 (/dev/i2c-4)" + c.err);
    EXPECT_EQ(result.out, kEcho + "Disconected\n");
    const int gets = countOf(faulty.traffic(), "get D6");
    EXPECT_GE(gets, c.minimumGets);
    EXPECT_LE(gets, c.maximumGets);
    EXPECT_EQ(healthy.traffic(), (Traffic{"open", "set D6 4"}));
    scene.expectWellBehaved();
    std::printf("[ timing   ] %s: %lld ms\n", c.what,
                static_cast<long long>(result.elapsed().count()));
  }
}

TEST(EmulatedMonitorTest, WithoutAReachableMonitorTheQueryReportsNoneAndNothingIsSent) {
  struct Case {
    const char* what;
    std::vector<Connector> connectors;
    bool smbus;  // the chipset's SMBus, with its /dev/i2c-0 node
    std::string err;
  };
  const unsigned absent = busWithoutRealNode();
  const std::string absentMonitor =
      "kelvane: card0-HDMI-A-1 (/dev/i2c-" + std::to_string(absent) + ")";
  const Case cases[] = {
      {"no connector at all", {}, true, noExternalMonitor("no connector at all")},
      {"only a disconnected connector",
       {{"card0-HDMI-A-1", false, BusLink::kDdcSymlink, 3}},
       true,
       noExternalMonitor("card0-HDMI-A-1 disconnected")},
      {"a panel without a DDC bus",
       {{"card0-eDP-1", true, BusLink::kNone, 0}},
       true,
       noExternalMonitor("card0-eDP-1 built-in panel")},
      {"the bus has no device node, other buses have",
       {{"card0-HDMI-A-1", true, BusLink::kDdcSymlink, absent, false}},
       true,
       absentMonitor + kDeviceMissing},
      {"no bus has a device node: no i2c-dev",
       {{"card0-HDMI-A-1", true, BusLink::kDdcSymlink, absent, false}},
       false,
       absentMonitor +
           ": no /dev/i2c-* device exists, so the i2c-dev module is not loaded; load it with "
           "'sudo modprobe i2c-dev'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    for (const Connector& connector : c.connectors) {
      scene.guard(connector);
    }
    if (c.smbus) {
      scene.guardOtherBus(0);
    }

    EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}, c.err).out,
              kEcho + "Error, status answer: -2\n");
    EXPECT_EQ(scene.desktop.journal(), Traffic{});
    scene.expectWellBehaved();
  }
}

TEST(EmulatedMonitorTest, EightMonitorsAreAllCommandedEvenWithOneFailing) {
  Scene scene;
  std::vector<const EmulatedDisplay*> displays;
  for (unsigned i = 1; i <= 8; ++i) {
    DisplayBehaviour behaviour;
    behaviour.naks = i == 3;
    displays.push_back(&scene.connect(
        {"card0-DP-" + std::to_string(i), true, BusLink::kAuxChild, 20 + i}, behaviour));
  }

  EXPECT_EQ(
      runKelvane(scene, {"-p", "Off", "-q"}, "kelvane: card0-DP-3 (/dev/i2c-23)" + kNoAnswer).out,
      kEcho + "On\n");
  Traffic sets;
  for (const std::string& entry : scene.desktop.journal()) {
    if (entry.find(" set ") != std::string::npos) {
      sets.push_back(entry);
    }
  }
  EXPECT_EQ(sets, (Traffic{"i2c-21 set D6 4", "i2c-22 set D6 4", "i2c-23 set D6 4",
                           "i2c-23 set D6 4", "i2c-24 set D6 4", "i2c-25 set D6 4",
                           "i2c-26 set D6 4", "i2c-27 set D6 4", "i2c-28 set D6 4"}));
  EXPECT_EQ(countOf(displays[0]->traffic(), "get D6"), 1);
  for (std::size_t i = 1; i < displays.size(); ++i) {
    EXPECT_EQ(countOf(displays[i]->traffic(), "get D6"), 0);
  }
  scene.expectWellBehaved();
}

// The trace's durations, which vary from run to run, as "N ms".
std::string withoutDurations(const std::string& text) {
  return std::regex_replace(text, std::regex("[0-9]+ ms"), "N ms");
}

TEST(EmulatedMonitorTest, KelvaneTraceOnePrintsEveryStepAndTheExchangesInOrder) {
  Scene scene;
  scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  scene.guardOtherBus(0);
  setenv("KELVANE_TRACE", "1", 1);
  const RunResult result = scene.desktop.run({"-q", "-p", "Off"}, runTimeout());
  unsetenv("KELVANE_TRACE");

  EXPECT_EQ(result.out, kEcho + "On\n");
  EXPECT_EQ(withoutDurations(result.err),
            "kelvane: trace: adapter i2c-0 \"SMBus I801 adapter at efa0\": not a display "
            "controller's, never opened\n"
            "kelvane: trace: connector card0-DP-1 (connected): a monitor on i2c-4\n"
            "kelvane: trace: adapter i2c-4 \"DDC adapter\": a connector's own bus\n"
            "kelvane: trace: i2c-4: open /dev/i2c-4\n"
            "kelvane: trace: i2c-4: lock taken after N ms\n"
            "kelvane: trace: i2c-4: write to 0x37: 51 82 01 D6 6A\n"
            "kelvane: trace: i2c-4: wait N ms for the reply\n"
            "kelvane: trace: i2c-4: read from 0x37: 6E 88 02 00 D6 00 00 05 00 01 66\n"
            "kelvane: trace: i2c-4: reply: present value 1, maximum 5\n"
            "kelvane: trace: i2c-4: wait N ms, the pause after the last exchange\n"
            "kelvane: trace: i2c-4: write to 0x37: 51 84 03 D6 00 04 6A\n"
            "kelvane: trace: i2c-4: at the end of the run: wait N ms, the pause after the last "
            "exchange, then give the lock back\n");
  // The reply's wait is the protocol's 40 ms.
  EXPECT_NE(result.err.find("wait 40 ms for the reply"), std::string::npos);
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
