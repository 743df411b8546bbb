// SPDX-License-Identifier: MIT
#include "monitors/monitors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace kelvane {
namespace {

using Log = std::vector<std::string>;

class MonitorsTest : public testing::Test {
 protected:
  void SetUp() override { fake::platform().reset(); }
  fake::Platform& platform = fake::platform();
};

TEST_F(MonitorsTest, WithoutAnyMonitorQueryReportsNoMonitorAndNothingIsSent) {
  {
    const Monitors monitors;
    EXPECT_EQ(monitors.queryPowerMode(), kStatusNoMonitor);
    monitors.setPowerMode(PowerMode::kOff);
  }
  EXPECT_EQ(platform.log, Log{"enumerate"});
}

TEST_F(MonitorsTest, DisplayMonitorWithoutPhysicalMonitorsStillGetsAnEmptyFill) {
  platform.displays = {fake::displayReportingCount(0, {})};
  { const Monitors monitors; }
  EXPECT_EQ(platform.log, (Log{"enumerate", "count D1", "fill D1 0"}));
}

TEST_F(MonitorsTest, FailingDisplayMonitorsDoNotHideTheOthers) {
  platform.displays = {
      fake::displayWhoseCountFails(), fake::displayWhoseFillFails({0x60}),
      fake::displayWith({0x30, 0x10}),
      fake::displayWith({0x20, 0x10}),  // the same handle again, as a driver may report it
  };
  {
    const Monitors monitors;
    monitors.setPowerMode(PowerMode::kOff);
    EXPECT_EQ(monitors.queryPowerMode(), 4);  // as just set
  }
  EXPECT_EQ(platform.log, (Log{
                              "enumerate",
                              "count D1",
                              "count D2",
                              "fill D2 1",
                              "count D3",
                              "fill D3 2",
                              "count D4",
                              "fill D4 2",
                              "set 0x10 4",
                              "set 0x20 4",
                              "set 0x30 4",
                              "get 0x10",
                              "destroy 0x10",
                              "destroy 0x20",
                              "destroy 0x30",
                          }));
  EXPECT_TRUE(platform.open.empty());
}

TEST_F(MonitorsTest, HandlesAreOrderedAsUnsignedNumbers) {
  const std::uintptr_t high = ~std::uintptr_t{0} - 0xF;  // negative if compared as signed
  platform.displays = {fake::displayWith({high, 0x40})};
  platform.monitors[high] = fake::answering(4);
  platform.monitors[0x40] = fake::answering(2);
  {
    const Monitors monitors;
    EXPECT_EQ(monitors.queryPowerMode(), 2);
    monitors.setPowerMode(PowerMode::kOn);
  }
  const std::string highName = fake::handleName(high);
  EXPECT_EQ(platform.log, (Log{"enumerate", "count D1", "fill D1 2", "get 0x40", "set 0x40 1",
                               "set " + highName + " 1", "destroy 0x40", "destroy " + highName}));
}

TEST_F(MonitorsTest, QueryReadsOnlyTheFirstMonitorAndReportsWhatItSays) {
  struct Case {
    fake::PhysicalMonitor first;
    StatusValue expected = 0;
  };
  const Case cases[] = {
      {fake::answering(1), 1},
      {fake::answering(0), 0},
      {fake::answering(2), 2},
      {fake::answering(4), 4},
      {fake::failingRead(), kStatusReadFailed},
  };
  for (const Case& c : cases) {
    platform.reset();
    platform.displays = {fake::displayWith({0x200}), fake::displayWith({0x100})};
    platform.monitors[0x100] = c.first;
    platform.monitors[0x200] = fake::answering(1);
    const Monitors monitors;
    EXPECT_EQ(monitors.queryPowerMode(), c.expected)
        << "first monitor reports " << c.first.powerMode;
    EXPECT_EQ(platform.log.back(), "get 0x100");
  }
}

TEST_F(MonitorsTest, UnallocatableRecordCountSkipsThatDisplayMonitor) {
  // An absurd count from a driver must neither end the program nor stop the
  // enumeration. Only meaningful where a huge allocation can fail.
  std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
  int mode = 0;
  if (overcommit >> mode && mode == 1) {
    GTEST_SKIP() << "the kernel grants any allocation here";
  }
  platform.displays = {fake::displayReportingCount(0xFFFFFFFF, {0x10}), fake::displayWith({0x20})};
  {
    const Monitors monitors;
    monitors.setPowerMode(PowerMode::kSuspend);
  }
  EXPECT_EQ(platform.log,
            (Log{"enumerate", "count D1", "count D2", "fill D2 1", "set 0x20 3", "destroy 0x20"}));
}

}  // namespace
}  // namespace kelvane
