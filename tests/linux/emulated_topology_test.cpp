// SPDX-License-Identifier: MIT
// The real kelvane executable on emulations of the machines users have: the
// proprietary NVIDIA driver, DisplayPort MST docks, amdgpu DisplayPort,
// laptops with their panels, hybrid laptops, a kernel driver bound at the
// display's address, a driver without I2C_RDWR, and buses that are not a
// display controller's. Each test checks the output, which displays were
// commanded, and that nothing went where nothing may go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

const std::string kEchoOff = expected::echo("Off");
const std::string kEchoOn = expected::echo("On");

DisplayBehaviour withEdid(std::uint8_t serial, std::uint16_t powerMode = 1) {
  DisplayBehaviour behaviour;
  behaviour.edid = validEdid(serial);
  behaviour.powerMode = powerMode;
  return behaviour;
}

// An adapter with nothing behind it: neither an EEPROM nor a display answers.
DisplayBehaviour nothingThere() {
  DisplayBehaviour behaviour;
  behaviour.naks = true;
  return behaviour;
}

Connector unlinked(const std::string& name, const std::string& status, const Bytes& edid) {
  Connector connector{name, status == "connected", BusLink::kNone, 0};
  connector.status = status;
  connector.edid = edid;
  return connector;
}

Adapter nvidiaAdapter(unsigned bus, unsigned index) {
  // The driver ends the name with an extra newline.
  return Adapter{bus, "NVIDIA i2c adapter " + std::to_string(index) + " at 1:00.0\n",
                 AdapterHome::kCard, "card1"};
}

struct NvidiaDesktop {
  Scene scene;
  EmulatedDisplay* first = nullptr;   // behind card1-DP-1
  EmulatedDisplay* second = nullptr;  // behind card1-DP-2, whose status is stale
  std::vector<EmulatedDisplay*> empty;

  explicit NvidiaDesktop(bool refusesCombinedTransfers) {
    scene.desktop.addConnector(unlinked("card1-DP-1", "connected", validEdid(1)));
    scene.desktop.addConnector(unlinked("card1-DP-2", "disconnected", validEdid(2)));
    // Stale the other way: says connected, nothing is there.
    scene.desktop.addConnector(unlinked("card1-HDMI-A-1", "connected", validEdid(3)));
    auto behaviour = [&](DisplayBehaviour wanted) {
      wanted.refusesCombinedTransfers = refusesCombinedTransfers;
      return wanted;
    };
    empty.push_back(&scene.adapter(nvidiaAdapter(3, 1), behaviour(nothingThere())));
    second = &scene.adapter(nvidiaAdapter(4, 2), behaviour(withEdid(2)));
    first = &scene.adapter(nvidiaAdapter(5, 3), behaviour(withEdid(1, 2)));
    empty.push_back(&scene.adapter(nvidiaAdapter(6, 4), behaviour(nothingThere())));
  }
};

TEST(EmulatedTopologyTest, NvidiaMonitorsAreFoundByTheirEdidAndCommandedInConnectorOrder) {
  for (const bool refusesCombinedTransfers : {false, true}) {
    SCOPED_TRACE(refusesCombinedTransfers ? "driver refuses I2C_RDWR" : "driver takes I2C_RDWR");
    NvidiaDesktop desktop(refusesCombinedTransfers);

    EXPECT_EQ(runKelvane(desktop.scene, {"-q", "-p", "Off"}).out,
              kEchoOff + "Error, status answer: 2\n");
    // Every adapter probed once, at 0x50 only; DDC/CI only where a display
    // answered.
    EXPECT_EQ(messagesIn(desktop.scene.desktop.journal()),
              (Traffic{"i2c-3 edid", "i2c-4 edid", "i2c-5 edid", "i2c-6 edid", "i2c-5 get D6",
                       "i2c-5 set D6 4", "i2c-4 set D6 4"}));
    for (const EmulatedDisplay* empty : desktop.empty) {
      EXPECT_EQ(empty->traffic(), (Traffic{"open", "edid"}));
    }
    EXPECT_EQ(desktop.first->powerMode(), 4);
    EXPECT_EQ(desktop.second->powerMode(), 4);
    // Refused once per bus, then plain read and write for the rest of the run.
    for (const EmulatedDisplay& display : desktop.scene.displays) {
      EXPECT_EQ(display.refusedTransfers(), refusesCombinedTransfers ? 1 : 0);
    }
    desktop.scene.expectWellBehaved();
  }
}

TEST(EmulatedTopologyTest, AnMstDockCommandsEachMonitorOnItsOwnAdapterAndNeverTheRootPort) {
  Scene scene;
  // The root port reads disconnected, while its AUX channel still answers.
  Connector root{"card0-DP-1", false, BusLink::kAuxChild, 3};
  root.edid = validEdid(9);
  const EmulatedDisplay& rootAux = scene.connect(root, withEdid(9));
  scene.desktop.addConnector(unlinked("card0-DP-5", "connected", validEdid(1)));
  scene.desktop.addConnector(unlinked("card0-DP-6", "connected", validEdid(2)));
  const EmulatedDisplay& hdmi = scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 4});
  // The EDID read of one MST monitor comes back as zeros; 0x37 works.
  DisplayBehaviour zeros;
  zeros.edid = Bytes(128, 0);
  zeros.powerMode = 4;
  const EmulatedDisplay& first = scene.adapter({10, "DPMST"}, zeros);
  const EmulatedDisplay& second = scene.adapter({11, "DPMST"}, withEdid(2));

  EXPECT_EQ(runKelvane(scene, {"-q", "-p", "On"}).out, kEchoOn + "On\n");
  // card0-DP-5 cannot be told by its EDID: its adapter comes last.
  EXPECT_EQ(messagesIn(scene.desktop.journal()),
            (Traffic{"i2c-10 edid", "i2c-11 edid", "i2c-11 get D6", "i2c-11 set D6 1",
                     "i2c-4 set D6 1", "i2c-10 set D6 1"}));
  EXPECT_EQ(rootAux.traffic(), Traffic{});
  EXPECT_EQ(first.powerMode(), 1);
  EXPECT_EQ(second.powerMode(), 1);
  EXPECT_EQ(hdmi.powerMode(), 1);
  scene.expectWellBehaved();
}

TEST(EmulatedTopologyTest, AmdDisplayPortUsesItsAuxChannelAndFallsBackOnlyWhenItIsDead) {
  DisplayBehaviour dead;
  dead.failsEveryTransfer = true;
  {
    SCOPED_TRACE("the hardware bus beside AUX is dead, as on USB4 links");
    Scene scene;
    Connector dp{"card0-DP-1", true, BusLink::kAuxChild, 5};
    dp.ddcBesideAux = 3;
    const auto [aux, ddc] = scene.connectTwice(dp, {}, dead);

    EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "On\n");
    EXPECT_EQ(aux->traffic(), (Traffic{"open", "get D6", "set D6 4"}));
    EXPECT_EQ(ddc->traffic(), Traffic{});
    scene.expectWellBehaved();
  }
  {
    SCOPED_TRACE("the AUX channel is dead, the hardware bus carries DDC/CI");
    Scene scene;
    Connector dp{"card0-DP-1", true, BusLink::kAuxChild, 5};
    dp.ddcBesideAux = 3;
    const auto [aux, ddc] = scene.connectTwice(dp, dead, {});

    EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "On\n");
    EXPECT_EQ(aux->traffic(), (Traffic{"open", "get D6"}));
    EXPECT_EQ(ddc->traffic(), (Traffic{"open", "get D6", "set D6 4"}));
    scene.expectWellBehaved();
  }
  {
    SCOPED_TRACE("the monitor, still waking, refuses its first message once; the ddc bus is dead");
    Scene scene;
    Connector dp{"card0-DP-1", true, BusLink::kAuxChild, 5};
    dp.ddcBesideAux = 3;
    DisplayBehaviour waking;
    waking.refusedMessages = 1;
    waking.powerMode = 4;
    const auto [aux, ddc] = scene.connectTwice(dp, waking, dead);

    EXPECT_EQ(runKelvane(scene, {"-q", "-p", "On"}).out, kEchoOn + "Error, status answer: 4\n");
    // Asked again after the pause on the bus that carries DDC/CI.
    EXPECT_EQ(aux->traffic(), (Traffic{"open", "get D6", "get D6", "set D6 1"}));
    EXPECT_EQ(ddc->traffic(), Traffic{});
    EXPECT_EQ(aux->powerMode(), 1);
    scene.expectWellBehaved();
  }
}

// The same model without a serial number, one on the integrated GPU's HDMI
// (linked) and one on the NVIDIA card (found by its EDID): two monitors. On
// one display controller, an adapter with the linked display's EDID is that
// display seen again, and is left alone after its EDID is read.
TEST(EmulatedTopologyTest, TwinMonitorsOnTwoGraphicsCardsAreBothCommanded) {
  for (const bool otherCard : {true, false}) {
    SCOPED_TRACE(otherCard ? "on two display controllers" : "on one display controller");
    Scene scene;
    Connector hdmi{"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 3};
    hdmi.edid = validEdid(1);
    const EmulatedDisplay& linked = scene.connect(hdmi, withEdid(1));
    const EmulatedDisplay* twin = nullptr;
    if (otherCard) {
      scene.desktop.addConnector(unlinked("card1-DP-1", "connected", validEdid(1)));
      twin = &scene.adapter(nvidiaAdapter(5, 1), withEdid(1));
    } else {
      twin = &scene.adapter({5, "i915 gmbus dpc", AdapterHome::kCard, "card0"}, withEdid(1));
    }

    EXPECT_EQ(runKelvane(scene, {"-p", "Off"}).out, kEchoOff);
    EXPECT_EQ(linked.traffic(), (Traffic{"open", "set D6 4"}));
    EXPECT_EQ(twin->traffic(),
              otherCard ? (Traffic{"open", "edid", "set D6 4"}) : (Traffic{"open", "edid"}));
    scene.expectWellBehaved();
  }
}

TEST(EmulatedTopologyTest, LaptopPanelsAreNeverTouchedAndTheFirstExternalMonitorIsQueried) {
  Scene scene;
  Connector edp{"card0-eDP-1", true, BusLink::kAuxChild, 2};
  edp.edid = validEdid(7);
  std::vector<const EmulatedDisplay*> panels;
  panels.push_back(&scene.connect(edp, withEdid(7)));
  panels.push_back(&scene.connect({"card0-LVDS-1", true, BusLink::kDdcSymlink, 3}, withEdid(8)));
  panels.push_back(&scene.connect({"card1-DSI-1", true, BusLink::kAuxChild, 4}, withEdid(9)));
  DisplayBehaviour standby;
  standby.powerMode = 2;
  const EmulatedDisplay& external =
      scene.connect({"card1-HDMI-A-1", true, BusLink::kDdcSymlink, 5}, standby);

  EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "Error, status answer: 2\n");
  EXPECT_EQ(external.traffic(), (Traffic{"open", "get D6", "set D6 4"}));
  for (const EmulatedDisplay* panel : panels) {
    EXPECT_EQ(panel->traffic(), Traffic{});  // not even opened
  }
  scene.expectWellBehaved();
}

TEST(EmulatedTopologyTest, ALaptopWithOnlyItsPanelHasNoMonitor) {
  Scene scene;
  const EmulatedDisplay& panel =
      scene.connect({"card0-eDP-1", true, BusLink::kAuxChild, 2}, withEdid(7));

  EXPECT_EQ(
      runKelvane(scene, {"-q", "-p", "Off"}, noExternalMonitor("card0-eDP-1 built-in panel")).out,
      kEchoOff + "Error, status answer: -2\n");
  EXPECT_EQ(panel.traffic(), Traffic{});
  scene.expectWellBehaved();
}

TEST(EmulatedTopologyTest, AHybridLaptopReachesTheExternalMonitorOnTheNvidiaCard) {
  Scene scene;
  Connector edp{"card0-eDP-1", true, BusLink::kAuxChild, 1};
  edp.edid = validEdid(7);
  const EmulatedDisplay& panel = scene.connect(edp, withEdid(7));
  scene.desktop.addConnector(unlinked("card1-HDMI-A-1", "connected", validEdid(1)));
  const EmulatedDisplay& external = scene.adapter(nvidiaAdapter(4, 1), withEdid(1));
  const EmulatedDisplay& empty = scene.adapter(nvidiaAdapter(5, 2), nothingThere());

  EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "On\n");
  EXPECT_EQ(external.traffic(), (Traffic{"open", "edid", "get D6", "set D6 4"}));
  EXPECT_EQ(empty.traffic(), (Traffic{"open", "edid"}));
  EXPECT_EQ(panel.traffic(), Traffic{});
  scene.expectWellBehaved();
}

TEST(EmulatedTopologyTest, DriverQuirksOnALinkedBusDoNotLoseTheMonitor) {
  struct Case {
    const char* what = "";
    DisplayBehaviour behaviour;
    int refused = 0;
  };
  DisplayBehaviour held;
  held.addressHeldByDriver = true;  // I2C_SLAVE would fail with EBUSY
  DisplayBehaviour refusing;
  refusing.refusesCombinedTransfers = true;
  const Case cases[] = {
      {"the ddcci driver is bound at 0x37", held, 0},
      {"the driver refuses I2C_RDWR", refusing, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    const EmulatedDisplay& display =
        scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 3}, c.behaviour);

    EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "On\n");
    EXPECT_EQ(display.traffic(), (Traffic{"open", "get D6", "set D6 4"}));
    EXPECT_EQ(display.refusedTransfers(), c.refused);
    scene.expectWellBehaved();
  }
}

TEST(EmulatedTopologyTest, BusesThatAreNotADisplayControllersSeeNoTrafficAtAll) {
  Scene scene;
  // Each holds what a probe would take for a display, were it ever probed.
  std::vector<const EmulatedDisplay*> guards;
  guards.push_back(
      &scene.adapter({0, "SMBus I801 adapter at efa0", AdapterHome::kSmbus, ""}, withEdid(1)));
  guards.push_back(&scene.adapter({8, "i2c-gpio1", AdapterHome::kPlatform, ""}, withEdid(2)));
  guards.push_back(
      &scene.adapter({9, "fbdev", AdapterHome::kDisplayControllerWithoutDrm, ""}, withEdid(3)));
  const EmulatedDisplay& monitor = scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 4});

  EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "On\n");
  EXPECT_EQ(monitor.traffic(), (Traffic{"open", "get D6", "set D6 4"}));
  for (const EmulatedDisplay* guard : guards) {
    EXPECT_EQ(guard->traffic(), Traffic{});
  }
  scene.expectWellBehaved();
}

TEST(EmulatedTopologyTest, AConnectorOfUnknownStatusIsAMonitorOnlyWithAValidEdid) {
  Scene scene;
  Connector vga{"card0-VGA-1", true, BusLink::kDdcSymlink, 3};
  vga.status = "unknown";
  const EmulatedDisplay& present = scene.connect(vga, withEdid(1));
  Connector dvi{"card0-DVI-D-1", true, BusLink::kDdcSymlink, 4};
  dvi.status = "unknown";
  const EmulatedDisplay& absent = scene.connect(dvi, nothingThere());

  EXPECT_EQ(runKelvane(scene, {"-q", "-p", "Off"}).out, kEchoOff + "On\n");
  EXPECT_EQ(present.traffic(), (Traffic{"open", "edid", "get D6", "set D6 4"}));
  EXPECT_EQ(absent.traffic(), (Traffic{"open", "edid"}));
  scene.expectWellBehaved();
}

}  // namespace
}  // namespace kelvane::emulation
