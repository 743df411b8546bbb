// What Kelvane tells people on standard error: which failures reach the
// reporter, their words, and that each is told once per run.
#include "app/diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_reports.h"
#include "app/test_routine.h"
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
    monitors.setPowerMode(4);
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
    return failureLine(Failure{cause, monitor, call, code, detail});
  };
  const std::string dp = "card0-DP-1 (/dev/i2c-5)";
  const std::pair<std::string, std::string> cases[] = {
      {line(FailureCause::kNoI2cDevices, ""),
       "kelvane: no monitor found: no /dev/i2c-* device exists, so the i2c-dev module is not "
       "loaded; load it with 'sudo modprobe i2c-dev'"},
      {line(FailureCause::kNoExternalMonitor, "", "card0-eDP-1 built-in panel"),
       "kelvane: no monitor found: no connector reports a connected external monitor (seen: "
       "card0-eDP-1 built-in panel; laptop panels are skipped on purpose); check the cable and "
       "that the monitor is on"},
      {line(FailureCause::kNoExternalMonitor, ""),
       "kelvane: no monitor found: no connector reports a connected external monitor (seen: no "
       "connector at all; laptop panels are skipped on purpose); check the cable and that the "
       "monitor is on"},
      {line(FailureCause::kNoBusForMonitor, "card1-DP-1"),
       "kelvane: card1-DP-1: the connector reports a monitor, but no I2C bus answers for it; see "
       "TROUBLESHOOTING in 'man kelvane'"},
      {line(FailureCause::kAccessDenied, dp, "Permission denied"),
       "kelvane: card0-DP-1 (/dev/i2c-5): permission denied opening the device; install the udev "
       "rule and log in again, then check your access with 'getfacl' on the device"},
      {line(FailureCause::kDeviceMissing, dp),
       "kelvane: card0-DP-1 (/dev/i2c-5): the device does not exist; load i2c-dev with 'sudo "
       "modprobe i2c-dev', and check that the monitor is still connected"},
      {line(FailureCause::kOpenFailed, dp, "Device or resource busy"),
       "kelvane: card0-DP-1 (/dev/i2c-5): cannot open the device: Device or resource busy; see "
       "TROUBLESHOOTING in 'man kelvane'"},
      {line(FailureCause::kNoAnswer, dp),
       "kelvane: card0-DP-1 (/dev/i2c-5): no answer at the DDC/CI address 0x37: DDC/CI may be "
       "off in the monitor's on-screen menu, or the monitor is asleep; switch DDC/CI on, or wake "
       "the monitor"},
      {line(FailureCause::kNoValidReply, dp),
       "kelvane: card0-DP-1 (/dev/i2c-5): no valid reply, even after retrying; wake the monitor "
       "and try again, or connect it without a dock or adapter"},
      {line(FailureCause::kUnsupported, dp),
       "kelvane: card0-DP-1 (/dev/i2c-5): the monitor has no power-mode control (VCP 0xD6), so "
       "it cannot be switched over DDC/CI"},
      {line(FailureCause::kBusBusy, dp),
       "kelvane: card0-DP-1 (/dev/i2c-5): another program kept the bus for 2 seconds; try again "
       "once it has finished"},
      {line(FailureCause::kTransferFailed, dp, "Connection timed out"),
       "kelvane: card0-DP-1 (/dev/i2c-5): the I2C transfer failed: Connection timed out; see "
       "TROUBLESHOOTING in 'man kelvane'"},
      {line(FailureCause::kTransferFailed, dp, "", "", 110),
       "kelvane: card0-DP-1 (/dev/i2c-5): the I2C transfer failed: error 110; see "
       "TROUBLESHOOTING in 'man kelvane'"},
      {line(FailureCause::kCallFailed, "\"DELL U2720Q\"", "An error occurred.",
            "GetVCPFeatureAndVCPFeatureReply", 0xC0262582),
       "kelvane: \"DELL U2720Q\": GetVCPFeatureAndVCPFeatureReply failed: An error occurred. "
       "(0xC0262582); check that DDC/CI is on in the monitor's menu and that it is awake"},
      {line(FailureCause::kCallFailed, "display monitor \\\\.\\DISPLAY1", "",
            "GetNumberOfPhysicalMonitorsFromHMONITOR", 120),
       "kelvane: display monitor \\\\.\\DISPLAY1: GetNumberOfPhysicalMonitorsFromHMONITOR failed "
       "(0x00000078); see Troubleshooting in the README"},
      {line(FailureCause::kNoPhysicalMonitor, ""),
       "kelvane: no monitor found: Windows offers no physical monitor (Remote Desktop sessions "
       "and virtual machines have none); run kelvane in the console session at the machine"},
  };
  for (const auto& [actual, expected] : cases) {
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace
}  // namespace kelvane
