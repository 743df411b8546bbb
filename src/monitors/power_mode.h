// SPDX-License-Identifier: MIT
// The power modes Kelvane sends: the values of the VESA MCCS "Power Mode"
// control (VCP code 0xD6), and the names that pick them on the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvane {

// MCCS "Power Mode" control.
inline constexpr std::uint8_t kPowerModeVcpCode = 0xD6;

// The values written to kPowerModeVcpCode, as MCCS numbers them.
enum class PowerMode : std::uint32_t {
  kOn = 1,
  kStandby = 2,
  kSuspend = 3,
  kOff = 4,
  // Off as if by the power button: most monitors then wake only by that button.
  kHardOff = 5,
};

// The value on the wire.
constexpr std::uint32_t codeOf(PowerMode mode) {
  return static_cast<std::uint32_t>(mode);
}

struct PowerModeName {
  PowerMode mode;
  std::string_view name;
};

// The command line's names, matched whole and case-sensitively, in this order.
inline constexpr PowerModeName kPowerModeNames[] = {
    {PowerMode::kOn, "On"},   {PowerMode::kStandby, "Standby"}, {PowerMode::kSuspend, "Suspend"},
    {PowerMode::kOff, "Off"}, {PowerMode::kHardOff, "HardOff"},
};

// The mode a command-line name picks, if it picks one.
constexpr std::optional<PowerMode> powerModeNamed(std::string_view name) {
  for (const PowerModeName& entry : kPowerModeNames) {
    if (entry.name == name) {
      return entry.mode;
    }
  }
  return std::nullopt;
}

constexpr std::string_view nameOf(PowerMode mode) {
  for (const PowerModeName& entry : kPowerModeNames) {
    if (entry.mode == mode) {
      return entry.name;
    }
  }
  return {};
}

}  // namespace kelvane
