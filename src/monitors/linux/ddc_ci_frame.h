// SPDX-License-Identifier: MIT
// DDC/CI message frames for VCP features, as the VESA DDC/CI standard (v1.1)
// and MCCS define them, seen from the host's side of an i2c-dev device: the
// kernel sends the address byte, so a frame we write starts at the source
// address and a frame we read starts at the display's source byte.
//
// Pure code over bytes: nothing here touches a device or a clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvane::ddcci {

// 7-bit I2C address of a display's DDC/CI endpoint (0x6E/0x6F on the wire).
inline constexpr std::uint8_t kDisplayI2cAddress = 0x37;

using GetVcpRequest = std::array<std::uint8_t, 5>;
using SetVcpRequest = std::array<std::uint8_t, 7>;

// A Get VCP Feature reply: source, length, opcode, result, code, type,
// maximum (2 bytes), present value (2 bytes), checksum.
inline constexpr std::size_t kGetVcpReplySize = 11;

GetVcpRequest encodeGetVcpRequest(std::uint8_t vcpCode);
SetVcpRequest encodeSetVcpRequest(std::uint8_t vcpCode, std::uint16_t value);

// Why a buffer read from the display is, or is not, the answer we asked for.
enum class ReplyStatus {
  kValid,
  kNullMessage,        // the display has nothing to say yet (or is busy)
  kShort,              // fewer bytes than the frame announces
  kBadSourceAddress,   // not 0x6E: an all-zero or all-ones buffer lands here
  kBadLength,          // no 0x80 flag, or not the 8 payload bytes of a reply
  kWrongOpcode,        // a well-formed frame, but not a Get VCP reply
  kWrongCode,          // a reply about another VCP code
  kBadChecksum,        // corrupted on the wire
  kUnsupportedCode,    // result code 0x01: the display does not have this control
  kUnknownResultCode,  // a result code the standard does not define
};

// "null message", "bad checksum"...: for the trace and the reports.
const char* describe(ReplyStatus status);

struct GetVcpReply {
  ReplyStatus status = ReplyStatus::kShort;
  // Meaningful only when status is kValid.
  std::uint8_t type = 0;  // 0x00 set parameter, 0x01 momentary
  std::uint16_t maximum = 0;
  std::uint16_t present = 0;
};

// Checks every field before trusting any: bytes that fail a check are never
// reported as a value.
GetVcpReply decodeGetVcpReply(const std::uint8_t* bytes, std::size_t size,
                              std::uint8_t expectedVcpCode);

}  // namespace kelvane::ddcci
