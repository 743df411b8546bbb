// SPDX-License-Identifier: MIT
#include "app/console_reports.h"

#include <chrono>
#include <cstdlib>
#include <iostream>

#include "monitors/hex_text.h"

namespace kelvane {

void printLine(std::ostream& out, std::string_view line) {
  out << line << std::endl;
}

void printEcho(std::ostream& out, std::string_view option, std::string_view value) {
  out << "Option: " << option << ", value: " << value << std::endl;
}

std::string statusLine(StatusValue status) {
  switch (status) {
    case 1:
      return "On";
    case 0:
      return "Off";
    case kStatusReadFailed:
      return "Disconected";
    default:
      return "Error, status answer: " + std::to_string(status);
  }
}

void printStatus(std::ostream& out, StatusValue status) {
  printLine(out, statusLine(status));
}

std::string testCommandLine(PowerMode mode, bool opening) {
  return "Command: " + std::string(opening ? "ON" : nameOf(mode)) + " ";
}

void printUsage(std::ostream& out) {
  static constexpr std::string_view kUsageLines[] = {
      "Usage:",
      "Kelvane [-p option] [-q] [-t]",
      "",
      "\t-p\t\tPower options: [On, Off]",
      "",
      "\t-q\t\tQuerry Screen Status",
      "\t\t\t\tWill happen beffore instruction",
      "\t\t\t\tif combined with power querry",
      "",
      "\t-t\t\tTesting routine. Disables other options",
      "\t\t\tOn -> 5 off commands -> On. ",
  };
  for (const std::string_view line : kUsageLines) {
    printLine(out, line);
  }
}

namespace {

using platform::FailureCause;

constexpr std::string_view kPrefix = "kelvane: ";
constexpr std::string_view kManual = "see TROUBLESHOOTING in 'man kelvane'";

// "2 seconds"
std::string inWords(std::chrono::milliseconds duration) {
  const auto count = duration.count();
  if (count % 1000 != 0) {
    return std::to_string(count) + " ms";
  }
  return std::to_string(count / 1000) + (count == 1000 ? " second" : " seconds");
}

// A failed Windows call: its name, the system's words and the code.
std::string callFailed(const platform::Failure& failure, std::string_view advice) {
  return failure.call + " failed" +
         (failure.detail.empty() ? std::string() : ": " + failure.detail) + " (" +
         hexNumber(failure.code, 8) + "); " + std::string(advice);
}

// What failed, then what to do, for each cause.
std::string explanation(const platform::Failure& failure) {
  const std::string detail =
      failure.detail.empty() ? "error " + std::to_string(failure.code) : failure.detail;
  switch (failure.cause) {
    case FailureCause::kNone:
      break;
    case FailureCause::kNoI2cDevices:
      return "no /dev/i2c-* device exists, so the i2c-dev module is not loaded; "
             "load it with 'sudo modprobe i2c-dev'";
    case FailureCause::kNoExternalMonitor:
      return "no connector reports a connected external monitor (seen: " +
             (failure.detail.empty() ? std::string("no connector at all") : failure.detail) +
             "; laptop panels are skipped on purpose); check the cable and that the monitor is on";
    case FailureCause::kNoBusForMonitor:
      return "the connector reports a monitor, but no I2C bus answers for it; " +
             std::string(kManual);
    case FailureCause::kAccessDenied:
      return "permission denied opening the device; install the udev rule and log in again, "
             "then check your access with 'getfacl' on the device";
    case FailureCause::kDeviceMissing:
      return "the device does not exist; load i2c-dev with 'sudo modprobe i2c-dev', "
             "and check that the monitor is still connected";
    case FailureCause::kOpenFailed:
      return "cannot open the device: " + detail + "; " + std::string(kManual);
    case FailureCause::kNoAnswer:
      return "no answer at the DDC/CI address 0x37: DDC/CI may be off in the monitor's "
             "on-screen menu, or the monitor is asleep; switch DDC/CI on, or wake the monitor";
    case FailureCause::kNoValidReply:
      return "no valid reply, even after retrying; wake the monitor and try again, "
             "or connect it without a dock or adapter";
    case FailureCause::kUnsupported:
      return "the monitor has no power-mode control (VCP 0xD6), so it cannot be switched "
             "over DDC/CI";
    case FailureCause::kBusBusy:
      return "another program kept the bus for " + inWords(platform::kBusLockTimeout) +
             "; try again once it has finished";
    case FailureCause::kTransferFailed:
      return "the I2C transfer failed: " + detail + "; " + std::string(kManual);
    case FailureCause::kCallFailed:
      return callFailed(failure, "see Troubleshooting in the README");
    case FailureCause::kExchangeFailed:
      // Only the exchanges with the monitor itself depend on its DDC/CI.
      return callFailed(failure,
                        "check that DDC/CI is on in the monitor's menu and that it is awake");
    case FailureCause::kNoPhysicalMonitor:
      return "Windows offers no physical monitor (Remote Desktop sessions and virtual machines "
             "have none); run kelvane in the console session at the machine";
  }
  return "failed: " + detail;
}

}  // namespace

std::string failureLine(const platform::Failure& failure) {
  std::string line(kPrefix);
  line += failure.monitor.empty() ? std::string("no monitor found") : failure.monitor;
  line += ": ";
  line += explanation(failure);
  return line;
}

std::string traceLine(std::string_view step) {
  std::string line(kPrefix);
  line += "trace: ";
  line += step;
  return line;
}

void printUsageAndExit() {
  printUsage(std::cout);
  std::exit(kUsageExitStatus);
}

}  // namespace kelvane
