// SPDX-License-Identifier: MIT
// The base block of a display's EDID (VESA E-EDID): how a display says what it
// is. Kelvane reads it for two things only: to tell whether an I2C bus has a
// display on it at all, and to tell which connector that display is on.
//
// Pure code over bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvane::linux_ddc {

// 7-bit I2C address of the EDID EEPROM (DDC2B). The only address Kelvane
// touches on a bus not yet known to carry a display.
inline constexpr std::uint8_t kEdidI2cAddress = 0x50;

inline constexpr std::size_t kEdidBlockSize = 128;
using EdidBlock = std::array<std::uint8_t, kEdidBlockSize>;

// The fixed header 00 FF FF FF FF FF FF 00 and a zero byte sum: what a real
// display sends. An all-zero or all-ones read (nothing on the bus, or a
// DisplayPort MST branch that does not forward it) is not valid.
bool isValidEdid(const EdidBlock& block);

}  // namespace kelvane::linux_ddc
