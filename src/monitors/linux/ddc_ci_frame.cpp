// SPDX-License-Identifier: MIT
#include "monitors/linux/ddc_ci_frame.h"

namespace kelvane::ddcci {
namespace {

constexpr std::uint8_t kHostSourceAddress = 0x51;
// The display's write address, which is also the source byte of its replies.
constexpr std::uint8_t kDisplayWriteAddress = kDisplayI2cAddress << 1;
// The host checksum covers the destination address that the kernel puts on
// the wire for us; the display's checksum is seeded with the "virtual host
// address" 0x50 instead (DDC/CI v1.1).
constexpr std::uint8_t kHostChecksumSeed = kDisplayWriteAddress;
constexpr std::uint8_t kDisplayChecksumSeed = 0x50;

constexpr std::uint8_t kLengthFlag = 0x80;
constexpr std::uint8_t kLengthMask = 0x7F;

constexpr std::uint8_t kGetVcpOpcode = 0x01;
constexpr std::uint8_t kGetVcpReplyOpcode = 0x02;
constexpr std::uint8_t kSetVcpOpcode = 0x03;

constexpr std::uint8_t kResultNoError = 0x00;
constexpr std::uint8_t kResultUnsupported = 0x01;

// Source and length before the payload, checksum after it.
constexpr std::size_t kHeaderSize = 2;
constexpr std::size_t kReplyPayloadSize = kGetVcpReplySize - kHeaderSize - 1;

std::uint8_t checksum(std::uint8_t seed, const std::uint8_t* bytes, std::size_t size) {
  std::uint8_t sum = seed;
  for (std::size_t i = 0; i < size; ++i) {
    sum ^= bytes[i];
  }
  return sum;
}

// Fills in source, length and checksum around a payload already in place.
template <std::size_t N>
std::array<std::uint8_t, N> frameHostMessage(std::array<std::uint8_t, N> frame) {
  frame[0] = kHostSourceAddress;
  frame[1] = kLengthFlag | static_cast<std::uint8_t>(N - kHeaderSize - 1);
  frame[N - 1] = checksum(kHostChecksumSeed, frame.data(), N - 1);
  return frame;
}

std::uint16_t bigEndian(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

}  // namespace

const char* describe(ReplyStatus status) {
  switch (status) {
    case ReplyStatus::kValid:
      return "valid";
    case ReplyStatus::kNullMessage:
      return "null message";
    case ReplyStatus::kShort:
      return "too short";
    case ReplyStatus::kBadSourceAddress:
      return "bad source address";
    case ReplyStatus::kBadLength:
      return "bad length";
    case ReplyStatus::kWrongOpcode:
      return "not a Get VCP reply";
    case ReplyStatus::kWrongCode:
      return "about another VCP code";
    case ReplyStatus::kBadChecksum:
      return "bad checksum";
    case ReplyStatus::kUnsupportedCode:
      return "unsupported VCP code";
    case ReplyStatus::kUnknownResultCode:
      return "unknown result code";
  }
  return "unknown";
}

GetVcpRequest encodeGetVcpRequest(std::uint8_t vcpCode) {
  return frameHostMessage(GetVcpRequest{0, 0, kGetVcpOpcode, vcpCode, 0});
}

SetVcpRequest encodeSetVcpRequest(std::uint8_t vcpCode, std::uint16_t value) {
  return frameHostMessage(SetVcpRequest{0, 0, kSetVcpOpcode, vcpCode,
                                        static_cast<std::uint8_t>(value >> 8),
                                        static_cast<std::uint8_t>(value & 0xFF), 0});
}

GetVcpReply decodeGetVcpReply(const std::uint8_t* bytes, std::size_t size,
                              std::uint8_t expectedVcpCode) {
  GetVcpReply reply;
  if (size >= 1 && bytes[0] != kDisplayWriteAddress) {
    reply.status = ReplyStatus::kBadSourceAddress;
    return reply;
  }
  if (size < kHeaderSize) {
    reply.status = ReplyStatus::kShort;
    return reply;
  }
  if ((bytes[1] & kLengthFlag) == 0) {
    reply.status = ReplyStatus::kBadLength;
    return reply;
  }
  const std::size_t payloadSize = bytes[1] & kLengthMask;
  if (payloadSize != 0 && payloadSize != kReplyPayloadSize) {
    reply.status = ReplyStatus::kBadLength;
    return reply;
  }
  const std::size_t frameSize = kHeaderSize + payloadSize + 1;
  if (size < frameSize) {
    reply.status = ReplyStatus::kShort;
    return reply;
  }
  // Fields of a corrupted frame mean nothing, so the checksum comes first.
  if (checksum(kDisplayChecksumSeed, bytes, frameSize - 1) != bytes[frameSize - 1]) {
    reply.status = ReplyStatus::kBadChecksum;
    return reply;
  }
  if (payloadSize == 0) {
    reply.status = ReplyStatus::kNullMessage;
    return reply;
  }
  const std::uint8_t* payload = bytes + kHeaderSize;
  if (payload[0] != kGetVcpReplyOpcode) {
    reply.status = ReplyStatus::kWrongOpcode;
  } else if (payload[2] != expectedVcpCode) {
    // Checked before the result: a reply about another code says nothing of ours.
    reply.status = ReplyStatus::kWrongCode;
  } else if (payload[1] == kResultUnsupported) {
    reply.status = ReplyStatus::kUnsupportedCode;
  } else if (payload[1] != kResultNoError) {
    reply.status = ReplyStatus::kUnknownResultCode;
  } else {
    reply.status = ReplyStatus::kValid;
    reply.type = payload[3];
    reply.maximum = bigEndian(payload + 4);
    reply.present = bigEndian(payload + 6);
  }
  return reply;
}

}  // namespace kelvane::ddcci
