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

// What standard error says when no monitor is found, as each platform knows it.
inline constexpr const char* kNoI2cDevices =
    "kelvane: no monitor found: no /dev/i2c-* device exists, so the i2c-dev module is not "
    "loaded; load it with 'sudo modprobe i2c-dev'\n";
inline constexpr const char* kNoPhysicalMonitor =
    "kelvane: no monitor found: Windows offers no physical monitor (Remote Desktop sessions and "
    "virtual machines have none); run kelvane in the console session at the machine\n";

// The echo line of a -p option.
inline std::string echo(const std::string& value) {
  return "Option: -p, value: " + value + "\n";
}

}  // namespace kelvane::expected
