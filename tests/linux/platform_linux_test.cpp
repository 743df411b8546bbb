// SPDX-License-Identifier: MIT
// The Linux platform operations called directly, in this process, against
// emulated displays: what the end-to-end runs cannot see from outside, such
// as handle values and the reply fields. Each test has a backend of its own,
// as each run of the program has. (Closing cannot be observed here: the
// emulation keeps its own end of every device open.)
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "emulated_scene.h"
#include "monitors/linux/linux_backend.h"
#include "monitors/platform.h"

namespace kelvane::emulation {
namespace {

using platform::DisplayMonitorHandle;
using platform::PhysicalMonitorHandle;
using platform::PhysicalMonitorRecord;

// The displays answer from the GLib main loop; the calls under test block
// until they do, so the loop spins on a thread of its own meanwhile.
class MainLoopThread {
 public:
  MainLoopThread()
      : loop_(g_main_loop_new(nullptr, FALSE)), thread_([this] { g_main_loop_run(loop_); }) {
    while (!g_main_loop_is_running(loop_)) {
      std::this_thread::yield();
    }
  }
  ~MainLoopThread() {
    g_main_loop_quit(loop_);
    thread_.join();
    g_main_loop_unref(loop_);
  }
  MainLoopThread(const MainLoopThread&) = delete;
  MainLoopThread& operator=(const MainLoopThread&) = delete;
  MainLoopThread(MainLoopThread&&) = delete;
  MainLoopThread& operator=(MainLoopThread&&) = delete;

 private:
  GMainLoop* loop_;
  std::thread thread_;
};

std::vector<DisplayMonitorHandle> displayMonitors(linux_ddc::LinuxBackend& backend) {
  std::vector<DisplayMonitorHandle> found;
  backend.enumDisplayMonitors(
      [](DisplayMonitorHandle monitor, void* data) {
        static_cast<std::vector<DisplayMonitorHandle>*>(data)->push_back(monitor);
        return true;
      },
      &found);
  return found;
}

// Opens the physical monitor of every display monitor that has one.
std::vector<PhysicalMonitorHandle> openAll(linux_ddc::LinuxBackend& backend) {
  std::vector<PhysicalMonitorHandle> handles;
  for (const DisplayMonitorHandle monitor : displayMonitors(backend)) {
    std::uint32_t count = 0;
    EXPECT_TRUE(backend.getNumberOfPhysicalMonitors(monitor, &count));
    PhysicalMonitorRecord record{};
    if (count == 1 && backend.getPhysicalMonitors(monitor, 1, &record)) {
      handles.push_back(record.handle);
    }
  }
  return handles;
}

TEST(PlatformLinuxTest, HandlesFollowConnectorOrderAndRepliesCarryEveryField) {
  Scene scene;
  DisplayBehaviour standby;
  standby.powerMode = 2;
  const EmulatedDisplay& second = scene.connect({"card1-DP-1", true, BusLink::kAuxChild, 9});
  const EmulatedDisplay& panel = scene.connect({"card0-eDP-1", true, BusLink::kAuxChild, 2});
  const EmulatedDisplay& first =
      scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 3}, standby);
  ASSERT_EQ(scene.desktop.error(), "");
  const MainLoopThread loop;
  linux_ddc::SystemTiming timing;
  linux_ddc::LinuxBackend backend(timing);

  const std::vector<PhysicalMonitorHandle> handles = openAll(backend);
  ASSERT_EQ(handles.size(), 2u);
  EXPECT_LT(handles[0], handles[1]);

  std::uint32_t type = 7;
  std::uint32_t current = 7;
  std::uint32_t maximum = 7;
  EXPECT_TRUE(backend.getVcpFeature(handles[0], 0xD6, &type, &current, &maximum));
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(current, 2u);
  EXPECT_EQ(maximum, 5u);
  EXPECT_TRUE(backend.setVcpFeature(handles[1], 0xD6, 4));
  // A VCP value has 16 bits on the wire: a larger one is refused, not cut.
  EXPECT_FALSE(backend.setVcpFeature(handles[1], 0xD6, 0x10004));

  for (const PhysicalMonitorHandle handle : handles) {
    EXPECT_TRUE(backend.destroyPhysicalMonitor(handle));
    EXPECT_FALSE(backend.destroyPhysicalMonitor(handle));
    EXPECT_FALSE(backend.setVcpFeature(handle, 0xD6, 1));
  }
  // Display-monitor handles that enumeration never made open nothing.
  std::uint32_t count = 0;
  EXPECT_FALSE(backend.getNumberOfPhysicalMonitors(DisplayMonitorHandle{0}, &count));
  EXPECT_FALSE(backend.getNumberOfPhysicalMonitors(DisplayMonitorHandle{3}, &count));
  EXPECT_EQ(first.traffic(), (Traffic{"open", "get D6"}));
  EXPECT_EQ(panel.traffic(), Traffic{});
  EXPECT_EQ(second.traffic(), (Traffic{"open", "set D6 4"}));
  scene.expectWellBehaved();
}

// The backend of one run in this process, its monitors opened, while the
// displays answer on a thread of their own.
struct InProcessRun {
  MainLoopThread loop;
  linux_ddc::SystemTiming timing;
  linux_ddc::LinuxBackend backend{timing};
  std::vector<PhysicalMonitorHandle> handles = openAll(backend);
};

// Another program that holds a bus with the same advisory lock, as flock(1)
// does, until it is destroyed.
class HeldBus {
 public:
  explicit HeldBus(unsigned bus)
      : fd_(open(("/dev/i2c-" + std::to_string(bus)).c_str(), O_RDWR | O_CLOEXEC)) {
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~HeldBus() { close(fd_); }
  HeldBus(const HeldBus&) = delete;
  HeldBus& operator=(const HeldBus&) = delete;
  HeldBus(HeldBus&&) = delete;
  HeldBus& operator=(HeldBus&&) = delete;

 private:
  int fd_;
};

// Between two steps, the test routine sleeps: the backend gives its buses
// back and closes them meanwhile, and each step starts afresh.
TEST(PlatformLinuxTest, ALockNotObtainedFailsThatStepOnlyAndTheNextStepTriesAgain) {
  Scene scene;
  const EmulatedDisplay& display = scene.connect({"card0-DP-1", true, BusLink::kAuxChild, 4});
  ASSERT_EQ(scene.desktop.error(), "");
  InProcessRun run;
  linux_ddc::LinuxBackend& backend = run.backend;
  const std::vector<PhysicalMonitorHandle>& handles = run.handles;
  ASSERT_EQ(handles.size(), 1u);

  std::uint32_t type = 0;
  std::uint32_t current = 0;
  std::uint32_t maximum = 0;
  {
    const HeldBus held(4);
    EXPECT_FALSE(backend.getVcpFeature(handles[0], 0xD6, &type, &current, &maximum));
    EXPECT_EQ(backend.lastFailure().cause, platform::FailureCause::kBusBusy);
    // Within one step (a query and then a command) the lock is not waited
    // for twice.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(backend.setVcpFeature(handles[0], 0xD6, 4));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds{1000});
  }
  backend.sleepMilliseconds(0);
  EXPECT_TRUE(backend.setVcpFeature(handles[0], 0xD6, 4));
  backend.sleepMilliseconds(0);
  EXPECT_TRUE(backend.getVcpFeature(handles[0], 0xD6, &type, &current, &maximum));
  EXPECT_EQ(current, 4u);
  // Opened again at each step (the holder's own open comes first).
  EXPECT_EQ(display.traffic(), (Traffic{"open", "open", "open", "set D6 4", "open", "get D6"}));
  scene.expectWellBehaved();
}

// A dock unplugged, or a GPU unbound, while the routine sleeps: the bus is
// closed, so the kernel can remove the adapter; at the next step the bus is
// gone, or its number belongs to another adapter, which must hear nothing.
TEST(PlatformLinuxTest, ABusWhoseAdapterWentAwayDuringASleepFailsItsMonitorOnly) {
  for (const bool numberTaken : {false, true}) {
    SCOPED_TRACE(numberTaken ? "another adapter took its number" : "the adapter is gone");
    const unsigned unplugged = busWithoutRealNode();
    Scene scene;
    const EmulatedDisplay& docked =
        scene.connect({"card0-DP-1", true, BusLink::kAuxChild, unplugged});
    const EmulatedDisplay& other = scene.connect({"card0-HDMI-A-1", true, BusLink::kDdcSymlink, 3});
    ASSERT_EQ(scene.desktop.error(), "");
    InProcessRun run;
    linux_ddc::LinuxBackend& backend = run.backend;
    const std::vector<PhysicalMonitorHandle>& handles = run.handles;
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_TRUE(backend.setVcpFeature(handles[0], 0xD6, 4));

    backend.sleepMilliseconds(0);
    if (numberTaken) {
      scene.desktop.giveNumberToAnotherAdapter(unplugged, "card1");
    } else {
      scene.desktop.removeAdapter(unplugged);
    }
    EXPECT_FALSE(backend.setVcpFeature(handles[0], 0xD6, 1));
    const platform::Failure failure = backend.lastFailure();
    EXPECT_EQ(failure.cause, platform::FailureCause::kDeviceMissing);
    EXPECT_EQ(failure.monitor, "card0-DP-1 (/dev/i2c-" + std::to_string(unplugged) + ")");
    EXPECT_TRUE(backend.setVcpFeature(handles[1], 0xD6, 1));

    // What answers on the number now hears nothing, not even an open.
    EXPECT_EQ(docked.traffic(), (Traffic{"open", "set D6 4"}));
    EXPECT_EQ(docked.powerMode(), 4);
    EXPECT_EQ(other.traffic(), (Traffic{"open", "open", "set D6 1"}));
    scene.expectWellBehaved();
  }
}

}  // namespace
}  // namespace kelvane::emulation
