// SPDX-License-Identifier: MIT
#include "monitors/linux/ddc_ci_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kelvane::ddcci {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes bytes(const std::array<std::uint8_t, N>& frame) {
  return Bytes(frame.begin(), frame.end());
}

TEST(DdcCiFrameTest, GetRequestsCarryTheCodeAndTheHostChecksum) {
  EXPECT_EQ(bytes(encodeGetVcpRequest(0xD6)), (Bytes{0x51, 0x82, 0x01, 0xD6, 0x6A}));
  EXPECT_EQ(bytes(encodeGetVcpRequest(0x10)), (Bytes{0x51, 0x82, 0x01, 0x10, 0xAC}));
  EXPECT_EQ(bytes(encodeGetVcpRequest(0x00)), (Bytes{0x51, 0x82, 0x01, 0x00, 0xBC}));
}

TEST(DdcCiFrameTest, SetRequestsCarryTheValueBigEndian) {
  struct Case {
    std::uint8_t code;
    std::uint16_t value;
    Bytes frame;
  };
  const Case cases[] = {
      {0xD6, 1, {0x51, 0x84, 0x03, 0xD6, 0x00, 0x01, 0x6F}},
      {0xD6, 4, {0x51, 0x84, 0x03, 0xD6, 0x00, 0x04, 0x6A}},
      {0xD6, 5, {0x51, 0x84, 0x03, 0xD6, 0x00, 0x05, 0x6B}},
      {0x10, 0x1234, {0x51, 0x84, 0x03, 0x10, 0x12, 0x34, 0x8E}},
      {0xD6, 0xFFFF, {0x51, 0x84, 0x03, 0xD6, 0xFF, 0xFF, 0x6E}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << int{c.code} << " value " << c.value);
    EXPECT_EQ(bytes(encodeSetVcpRequest(c.code, c.value)), c.frame);
  }
}

struct DecodeCase {
  const char* what;
  Bytes read;
  ReplyStatus status;
};

void expectStatuses(const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(decodeGetVcpReply(c.read.data(), c.read.size(), 0xD6).status, c.status);
  }
}

TEST(DdcCiFrameTest, ValidRepliesGiveTypeMaximumAndPresentValue) {
  struct Case {
    Bytes read;
    std::uint8_t type;
    std::uint16_t maximum;
    std::uint16_t present;
  };
  const Case cases[] = {
      {{0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x66}, 0, 5, 1},
      {{0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x04, 0x63}, 0, 5, 4},
      {{0x6E, 0x88, 0x02, 0x00, 0xD6, 0x01, 0x12, 0x34, 0xAB, 0xCD, 0x23}, 1, 0x1234, 0xABCD},
      // Bytes after the checksum are whatever the bus returned; they do not count.
      {{0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x02, 0x65, 0xFF}, 0, 5, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.read));
    const GetVcpReply reply = decodeGetVcpReply(c.read.data(), c.read.size(), 0xD6);
    EXPECT_EQ(reply.status, ReplyStatus::kValid);
    EXPECT_EQ(reply.type, c.type);
    EXPECT_EQ(reply.maximum, c.maximum);
    EXPECT_EQ(reply.present, c.present);
  }
}

TEST(DdcCiFrameTest, EveryRejectionReasonIsNamed) {
  expectStatuses({
      {"null message", {0x6E, 0x80, 0xBE}, ReplyStatus::kNullMessage},
      {"null message in a full read",
       {0x6E, 0x80, 0xBE, 0, 0, 0, 0, 0, 0, 0, 0},
       ReplyStatus::kNullMessage},
      {"nothing read", {}, ReplyStatus::kShort},
      {"source byte only", {0x6E}, ReplyStatus::kShort},
      {"null message cut", {0x6E, 0x80}, ReplyStatus::kShort},
      {"reply cut before its checksum",
       {0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01},
       ReplyStatus::kShort},
      {"all zero", Bytes(11, 0x00), ReplyStatus::kBadSourceAddress},
      {"all ones", Bytes(11, 0xFF), ReplyStatus::kBadSourceAddress},
      {"one wrong byte", {0x00}, ReplyStatus::kBadSourceAddress},
      {"host's own source byte",
       {0x51, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x66},
       ReplyStatus::kBadSourceAddress},
      {"length without its flag",
       {0x6E, 0x08, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0xE6},
       ReplyStatus::kBadLength},
      {"length of another message",
       {0x6E, 0x89, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x67},
       ReplyStatus::kBadLength},
      {"flipped bit in the value",
       {0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x03, 0x66},
       ReplyStatus::kBadChecksum},
      {"host checksum instead of display checksum",
       {0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x58},
       ReplyStatus::kBadChecksum},
      {"null message with a bad checksum", {0x6E, 0x80, 0xBF}, ReplyStatus::kBadChecksum},
      {"Set VCP opcode",
       {0x6E, 0x88, 0x03, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x67},
       ReplyStatus::kWrongOpcode},
      {"reply about another code",
       {0x6E, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x05, 0x00, 0x01, 0xA0},
       ReplyStatus::kWrongCode},
      {"another code, unsupported",
       {0x6E, 0x88, 0x02, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA5},
       ReplyStatus::kWrongCode},
      {"unsupported",
       {0x6E, 0x88, 0x02, 0x01, 0xD6, 0x00, 0x00, 0x00, 0x00, 0x00, 0x63},
       ReplyStatus::kUnsupportedCode},
      {"undefined result code",
       {0x6E, 0x88, 0x02, 0x02, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x64},
       ReplyStatus::kUnknownResultCode},
  });
}

// Every single-bit error in a valid reply is caught by one check or another,
// so a corrupted frame is never reported as a value.
TEST(DdcCiFrameTest, NoSingleBitErrorPassesAsAValue) {
  const Bytes valid{0x6E, 0x88, 0x02, 0x00, 0xD6, 0x00, 0x00, 0x05, 0x00, 0x01, 0x66};
  for (std::size_t position = 0; position < valid.size(); ++position) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes corrupted = valid;
      corrupted[position] ^= static_cast<std::uint8_t>(1 << bit);
      SCOPED_TRACE(testing::Message() << "byte " << position << " bit " << bit);
      EXPECT_NE(decodeGetVcpReply(corrupted.data(), corrupted.size(), 0xD6).status,
                ReplyStatus::kValid);
    }
  }
}

}  // namespace
}  // namespace kelvane::ddcci
