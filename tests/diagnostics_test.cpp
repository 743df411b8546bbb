// SPDX-License-Identifier: MIT
// What Kelvane tells people on standard error: which failures reach the
// reporter, their words, and that each is told once per run.
#include "app/diagnostics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/console_reports.h"
#include "app/test_routine.h"
#include "expected_texts.h"
#include "fake_platform.h"
#include "monitors/monitors.h"

namespace kelvane {
namespace {

using platform::Failure;
using platform::FailureCause;

// Keeps every failure it is told of, in order.
class RecordingReporter final : public FailureReporter {
 public:
  void report(const Failure& failure) override { told.push_back(failure.monitor); }
  std::vector<std::string> told;
};

Failure failure(FailureCause cause, const std::string& monitor) {
  Failure result;
  result.cause = cause;
  result.monitor = monitor;
  return result;
}

class DiagnosticsTest : public testing::Test {
 protected:
  void SetUp() override { fake::platform().reset(); }
  fake::Platform& platform = fake::platform();
};

TEST_F(DiagnosticsTest, EveryFailingOperationIsReportedWithThePlatformsReason) {
  fake::DisplayMonitor countFails = fake::displayWhoseCountFails();
  countFails.failure = failure(FailureCause::kCallFailed, "count of D1");
  fake::DisplayMonitor fillFails = fake::displayWhoseFillFails({0x60});
  fillFails.failure = failure(FailureCause::kCallFailed, "fill of D2");
  platform.displays = {countFails, fillFails, fake::displayWith({0x10, 0x20, 0x30})};
  platform.monitors[0x10] = fake::failingRead();
  platform.monitors[0x10].failure = failure(FailureCause::kNoAnswer, "0x10 read");
  platform.monitors[0x20].setFails = true;
  platform.monitors[0x20].failure = failure(FailureCause::kBusBusy, "0x20 set");
  platform.noMonitor = failure(FailureCause::kNoExternalMonitor, "never asked");

  RecordingReporter reporter;
  {
    const Monitors monitors(&reporter);
    EXPECT_EQ(monitors.queryPowerMode(), kStatusReadFailed);
    monitors.setPowerMode(PowerMode::kOff);
  }
  // The failing set stops no other: 0x30 still gets its command.
  EXPECT_EQ(reporter.told,
            (std::vector<std::string>{"count of D1", "fill of D2", "0x10 read", "0x20 set"}));
  EXPECT_EQ(platform.log.back(), "destroy 0x30");
  EXPECT_EQ(platform.monitors[0x30].powerMode, 4u);
}

TEST_F(DiagnosticsTest, WhyNoMonitorWasFoundIsAskedOnlyWhenNothingFailedOnTheWay) {
  platform.noMonitor = failure(FailureCause::kNoExternalMonitor, "");
  RecordingReporter reporter;
  { const Monitors monitors(&reporter); }
  EXPECT_EQ(reporter.told, std::vector<std::string>{""});

  // A failure already says why: no second line.
  fake::DisplayMonitor countFails = fake::displayWhoseCountFails();
  countFails.failure = failure(FailureCause::kCallFailed, "D1");
  platform.displays = {countFails};
  reporter.told.clear();
  { const Monitors monitors(&reporter); }
  EXPECT_EQ(reporter.told, std::vector<std::string>{"D1"});

  // Monitors found, or nothing the platform can tell: nothing to say.
  platform.displays = {fake::displayWith({0x10})};
  reporter.told.clear();
  { const Monitors monitors(&reporter); }
  platform.displays.clear();
  platform.noMonitor = Failure{};
  { const Monitors monitors(&reporter); }
  EXPECT_EQ(reporter.told, std::vector<std::string>{});
}

TEST_F(DiagnosticsTest, EachFailureIsToldOnceAndAWorkingRunSaysNothing) {
  {
    std::ostringstream err;
    Diagnostics diagnostics(err, false);
    platform.displays = {fake::displayWith({0x10})};
    RunRequest request;
    request.query = true;
    request.power = true;
    std::ostringstream out;
    runRequest(request, out, &diagnostics);
    EXPECT_EQ(err.str(), "");
  }
  // The test routine reads a failing monitor 13 times and commands it 6.
  fake::platform().reset();
  platform.displays = {fake::displayWith({0x10})};
  platform.monitors[0x10] = fake::failingRead();
  platform.monitors[0x10].setFails = true;
  platform.monitors[0x10].failure = failure(FailureCause::kNoAnswer, "card0-DP-1 (/dev/i2c-5)");
  std::ostringstream err;
  Diagnostics diagnostics(err, false);
  std::ostringstream out;
  runTestRoutine(out, &diagnostics);
  EXPECT_EQ(err.str(), failureLine(platform.monitors[0x10].failure) + "\n");
}

TEST_F(DiagnosticsTest, TheTraceIsOnlyForKelvaneTraceOneAndEndsWithItsObject) {
  EXPECT_TRUE(traceRequested("1"));
  for (const char* value : {"", "0", "yes", "true", "11", " 1"}) {
    SCOPED_TRACE(value);
    EXPECT_FALSE(traceRequested(value));
  }
  EXPECT_FALSE(traceRequested(nullptr));

  platform.displays = {fake::displayWith({0x10})};
  std::ostringstream err;
  {
    Diagnostics diagnostics(err, true);
    const Monitors monitors(&diagnostics);
    EXPECT_EQ(monitors.queryPowerMode(), 1);
  }
  EXPECT_EQ(err.str(),
            "kelvane: trace: enumerate\nkelvane: trace: count D1\nkelvane: trace: fill D1 1\n"
            "kelvane: trace: get 0x10\nkelvane: trace: destroy 0x10\n");
  EXPECT_EQ(platform.trace, nullptr);
  { const Diagnostics quiet(err, false); }
  EXPECT_EQ(platform.trace, nullptr);
}

TEST(FailureLineTest, SaysWhichMonitorWhatFailedAndWhatToDo) {
  const auto line = [](FailureCause cause, const std::string& monitor,
                       const std::string& detail = "", const std::string& call = "",
                       std::uint32_t code = 0) {
    return failureLine(Failure{cause, monitor, call, code, detail}) + "\n";
  };
  const std::string dp = "card0-DP-1 (/dev/i2c-5)";
  const std::string dell = "\"DELL U2720Q\"";
  const std::string display = "display monitor \\\\.\\DISPLAY1";
  const std::pair<std::string, std::string> cases[] = {
      {line(FailureCause::kNoI2cDevices, ""), expected::kNoI2cDevices},
      {line(FailureCause::kNoExternalMonitor, "", "card0-eDP-1 built-in panel"),
       expected::noMonitorFound(
           expected::noExternalMonitorExplained("card0-eDP-1 built-in panel"))},
      {line(FailureCause::kNoExternalMonitor, ""),
       expected::noMonitorFound(expected::noExternalMonitorExplained("no connector at all"))},
      {line(FailureCause::kNoBusForMonitor, "card1-DP-1"),
       expected::failed("card1-DP-1", expected::kNoBusForMonitor)},
      {line(FailureCause::kAccessDenied, dp, "Permission denied"),
       expected::failed(dp, expected::kAccessDenied)},
      {line(FailureCause::kDeviceMissing, dp), expected::failed(dp, expected::kDeviceMissing)},
      {line(FailureCause::kOpenFailed, dp, "Device or resource busy"),
       expected::failed(dp, expected::openFailed("Device or resource busy"))},
      {line(FailureCause::kNoAnswer, dp), expected::failed(dp, expected::kNoAnswer)},
      {line(FailureCause::kNoValidReply, dp), expected::failed(dp, expected::kNoValidReply)},
      {line(FailureCause::kUnsupported, dp), expected::failed(dp, expected::kUnsupported)},
      {line(FailureCause::kBusBusy, dp), expected::failed(dp, expected::kBusBusy)},
      {line(FailureCause::kTransferFailed, dp, "Connection timed out"),
       expected::failed(dp, expected::transferFailed("Connection timed out"))},
      {line(FailureCause::kTransferFailed, dp, "", "", 110),
       expected::failed(dp, expected::transferFailed("error 110"))},
      {line(FailureCause::kExchangeFailed, dell, "An error occurred.",
            "GetVCPFeatureAndVCPFeatureReply", 0xC0262582),
       expected::failed(dell, expected::exchangeFailed("GetVCPFeatureAndVCPFeatureReply",
                                                       "An error occurred.", "0xC0262582"))},
      {line(FailureCause::kCallFailed, display, "", "GetNumberOfPhysicalMonitorsFromHMONITOR", 120),
       expected::failed(display, expected::otherCallFailed(
                                     "GetNumberOfPhysicalMonitorsFromHMONITOR", "", "0x00000078"))},
      {line(FailureCause::kNoPhysicalMonitor, ""), expected::kNoPhysicalMonitor},
  };
  for (const auto& [actual, want] : cases) {
    EXPECT_EQ(actual, want);
  }
}

}  // namespace
}  // namespace kelvane
