// The real kelvane executable against emulated monitors in a fake sysfs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

const std::string kEcho = "Option: -p, value: Off\n";

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
  };
  std::vector<Case> cases(4);
  cases[0] = {"two null messages first", {}};
  cases[0].behaviour.fault = ReplyFault::kNullMessage;
  cases[0].behaviour.faultyReplies = 2;
  cases[1] = {"two bad checksums first", {}};
  cases[1].behaviour.fault = ReplyFault::kBadChecksum;
  cases[1].behaviour.faultyReplies = 2;
  cases[2] = {"needs 100 ms to reply", {}};
  cases[2].behaviour.readyAfter = milliseconds{100};
  cases[3] = {"needs 200 ms to reply", {}};
  cases[3].behaviour.readyAfter = milliseconds{200};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    const EmulatedDisplay& display =
        scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4}, c.behaviour);

    EXPECT_EQ(runKelvane(scene, {"-q"}).out, "On\n");
    EXPECT_GE(countOf(display.traffic(), "get D6"), 2);
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
      // Definite answers: asking again would change nothing.
      {"NAK", naks, 1, 1},
      {"unsupported code", unsupported, 1, 1},
      // Garbage: retried a bounded number of times.
      {"endless null messages", failing(ReplyFault::kNullMessage), 2, 10},
      {"endless bad checksums", failing(ReplyFault::kBadChecksum), 2, 10},
      {"all-zero buffer", failing(ReplyFault::kAllZero), 2, 10},
      {"short reply", failing(ReplyFault::kShort), 2, 10},
      {"wrong echoed code", failing(ReplyFault::kWrongCode), 2, 10},
      {"read fails with EIO", failing(ReplyFault::kReadFails), 2, 10},
      // Gone between enumeration and the query: nothing reaches it any more.
      {"device disappears", vanishes, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    const EmulatedDisplay& faulty =
        scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4}, c.behaviour);
    const EmulatedDisplay& healthy = scene.connect({"card0-DP-2", true, BusLink::kAuxChild, 5});

    const RunResult result = runKelvane(scene, {"-q", "-p", "Off"});
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
  };
  const Case cases[] = {
      {"no connector at all", {}},
      {"only a disconnected connector", {{"card0-HDMI-A-1", false, BusLink::kDdcSymlink, 3}}},
      {"a panel without a DDC bus", {{"card0-eDP-1", true, BusLink::kNone, 0}}},
      {"no i2c-dev node for the bus",
       {{"card0-HDMI-A-1", true, BusLink::kDdcSymlink, busWithoutRealNode(), false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    for (const Connector& connector : c.connectors) {
      scene.guard(connector);
    }
    const EmulatedDisplay& smbus = scene.guardOtherBus(0);

    EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEcho + "Error, status answer: -2\n");
    EXPECT_EQ(scene.desktop.journal(), Traffic{});
    EXPECT_EQ(smbus.traffic(), Traffic{});
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

  EXPECT_EQ(runKelvane(scene, {"-p", "Off", "-q"}).out, kEcho + "On\n");
  Traffic sets;
  for (const std::string& entry : scene.desktop.journal()) {
    if (entry.find(" set ") != std::string::npos) {
      sets.push_back(entry);
    }
  }
  EXPECT_EQ(sets,
            (Traffic{"i2c-21 set D6 4", "i2c-22 set D6 4", "i2c-23 set D6 4", "i2c-24 set D6 4",
                     "i2c-25 set D6 4", "i2c-26 set D6 4", "i2c-27 set D6 4", "i2c-28 set D6 4"}));
  EXPECT_EQ(countOf(displays[0]->traffic(), "get D6"), 1);
  for (std::size_t i = 1; i < displays.size(); ++i) {
    EXPECT_EQ(countOf(displays[i]->traffic(), "get D6"), 0);
  }
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
