// SPDX-License-Identifier: MIT
// The program's fixed texts, written out here on their own rather than taken
// from the program's constants, so that a change to a text fails the tests.
#pragma once

#include <string>

namespace kelvane::expected {

inline constexpr const char* kUsage =
    "Usage:\n"
    "Kelvane [-p option] [-q] [-t]\n"
    "\n"
    "\t-p\t\tPower options: [On, Off]\n"
    "\n"
    "\t-q\t\tQuerry Screen Status\n"
    "\t\t\t\tWill happen beffore instruction\n"
    "\t\t\t\tif combined with power querry\n"
    "\n"
    "\t-t\t\tTesting routine. Disables other options\n"
    "\t\t\tOn -> 5 off commands -> On. \n";
inline constexpr const char* kInvalidArguments = "Invalid arguments, please try again.\n";
inline constexpr const char* kPowerArgumentInvalid = "Power argument invalid, please try again.\n";

// Standard error: "kelvane: ", the monitor (or "no monitor found"), then what
// failed and what to do, as below.
inline std::string failed(const std::string& monitor, const std::string& explanation) {
  return "kelvane: " + monitor + ": " + explanation + "\n";
}
inline std::string noMonitorFound(const std::string& explanation) {
  return failed("no monitor found", explanation);
}

// What failed and what to do, on Linux.
inline const std::string kNoI2cDevicesExplained =
    "no /dev/i2c-* device exists, so the i2c-dev module is not loaded; load it with 'sudo "
    "modprobe i2c-dev'";
inline std::string noExternalMonitorExplained(const std::string& seen) {
  return "no connector reports a connected external monitor (seen: " + seen +
         "; laptop panels are skipped on purpose); check the cable and that the monitor is on";
}
inline const std::string kNoBusForMonitor =
    "the connector reports a monitor, but no I2C bus answers for it; see TROUBLESHOOTING in "
    "'man kelvane'";
inline const std::string kAccessDenied =
    "permission denied opening the device; install the udev rule and log in again, then check "
    "your access with 'getfacl' on the device";
inline const std::string kDeviceMissing =
    "the device does not exist; load i2c-dev with 'sudo modprobe i2c-dev', and check that the "
    "monitor is still connected";
inline std::string openFailed(const std::string& words) {
  return "cannot open the device: " + words + "; see TROUBLESHOOTING in 'man kelvane'";
}
inline const std::string kNoAnswer =
    "no answer at the DDC/CI address 0x37: DDC/CI may be off in the monitor's on-screen menu, or "
    "the monitor is asleep; switch DDC/CI on, or wake the monitor";
inline const std::string kNoValidReply =
    "no valid reply, even after retrying; wake the monitor and try again, or connect it without "
    "a dock or adapter";
inline const std::string kUnsupported =
    "the monitor has no power-mode control (VCP 0xD6), so it cannot be switched over DDC/CI";
inline const std::string kBusBusy =
    "another program kept the bus for 2 seconds; try again once it has finished";
inline std::string transferFailed(const std::string& words) {
  return "the I2C transfer failed: " + words + "; see TROUBLESHOOTING in 'man kelvane'";
}

// What failed and what to do, on Windows: the call, the system's words for
// the error when it has any, and the code in eight hex digits.
inline std::string callFailed(const std::string& call, const std::string& words,
                              const std::string& code, const std::string& advice) {
  return call + " failed" + (words.empty() ? "" : ": " + words) + " (" + code + "); " + advice;
}
// A call that exchanges a VCP value with the monitor.
inline std::string exchangeFailed(const std::string& call, const std::string& words,
                                  const std::string& code) {
  return callFailed(call, words, code,
                    "check that DDC/CI is on in the monitor's menu and that it is awake");
}
// Any other call: finding, opening or closing the monitors, loading dxva2.
inline const std::string kSeeTheReadme = "see Troubleshooting in the README";
inline std::string otherCallFailed(const std::string& call, const std::string& words,
                                   const std::string& code) {
  return callFailed(call, words, code, kSeeTheReadme);
}
inline const std::string kNoPhysicalMonitorExplained =
    "Windows offers no physical monitor (Remote Desktop sessions and virtual machines have "
    "none); run kelvane in the console session at the machine";

// What standard error says when no monitor is found, as each platform knows it.
inline const std::string kNoI2cDevices = noMonitorFound(kNoI2cDevicesExplained);
inline const std::string kNoPhysicalMonitor = noMonitorFound(kNoPhysicalMonitorExplained);

// The test routine (-t): its first and last lines, and for each command its
// line and the status line of a monitor that obeys it. Each status line comes
// after a "Status" line.
inline constexpr const char* kRoutineStart = "Start test routine: ";
inline constexpr const char* kRoutineEnd = "End test routine: ";
inline constexpr const char* kStatusHeading = "Status";
// Standard error after an interrupted test routine.
inline constexpr const char* kRoutineInterrupted =
    "kelvane: the test routine was interrupted; every monitor was sent On again";
struct RoutineStep {
  const char* command;
  const char* obeyed;
};
inline constexpr RoutineStep kRoutineSteps[] = {
    {"Command: ON ", "On"},
    {"Command: Standby ", "Error, status answer: 2"},
    {"Command: Suspend ", "Error, status answer: 3"},
    {"Command: Off ", "Error, status answer: 4"},
    {"Command: HardOff ", "Error, status answer: 5"},
    {"Command: On ", "On"},
};

// What the test routine prints when it is stopped after the line of the
// command of the given index (0 for the opening ON), that line included; -1:
// before its first command. Every monitor obeys, and answers On at first.
inline std::string routineUpTo(int command) {
  std::string text = std::string(kRoutineStart) + "\n" + kStatusHeading + "\nOn\n";
  for (int i = 0; i <= command; ++i) {
    if (i > 0) {
      for (int twice = 0; twice < 2; ++twice) {
        text += kStatusHeading;
        text += "\n";
        text += kRoutineSteps[i - 1].obeyed;
        text += "\n";
      }
    }
    text += kRoutineSteps[i].command;
    text += "\n";
  }
  return text;
}

// The echo line of a -p option.
inline std::string echo(const std::string& value) {
  return "Option: -p, value: " + value + "\n";
}

}  // namespace kelvane::expected
