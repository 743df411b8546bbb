// SPDX-License-Identifier: MIT
// Feeds the Get VCP Feature reply decoder arbitrary bytes and checks its
// verdict against the DDC/CI reply format re-derived here from the standard,
// independently of the decoder's own constants and order of checks.
//
// The first input byte is the VCP code asked for, the rest is what the read
// returned (an empty input asks for 0xD6 and got nothing). Those bytes live in
// a heap block of exactly their size, so AddressSanitizer reports any read
// past the end of the reply, however short.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "monitors/linux/ddc_ci_frame.h"

namespace {

using kelvane::ddcci::GetVcpReply;
using kelvane::ddcci::ReplyStatus;

// What a display may legitimately send back, read from the host's side (the
// kernel strips the address byte of the read):
//   null message:   6E 80 BE
//   Get VCP reply:  6E 88 02 <result> <code> <type> <max hi> <max lo>
//                   <present hi> <present lo> <checksum>
// where the checksum is 0x50 (the virtual host address) XOR every byte before
// it. Bytes after a complete frame are the bus's idle level, not part of it.
enum class Verdict { kValue, kUnsupported, kOtherResult, kNullMessage, kRejected };

struct Expected {
  Verdict verdict = Verdict::kRejected;
  std::uint8_t type = 0;
  std::uint16_t maximum = 0;
  std::uint16_t present = 0;
};

Expected expectedFor(const std::uint8_t* read, std::size_t size, std::uint8_t code) {
  Expected expected;
  if (size >= 3 && read[0] == 0x6E && read[1] == 0x80 && read[2] == 0xBE) {
    expected.verdict = Verdict::kNullMessage;
    return expected;
  }
  if (size < 11 || read[0] != 0x6E || read[1] != 0x88 || read[2] != 0x02 || read[4] != code) {
    return expected;
  }
  std::uint8_t sum = 0x50;
  for (std::size_t i = 0; i < 10; ++i) {
    sum ^= read[i];
  }
  if (read[10] != sum) {
    return expected;
  }
  switch (read[3]) {
    case 0x00:
      expected.verdict = Verdict::kValue;
      expected.type = read[5];
      expected.maximum = static_cast<std::uint16_t>(read[6] * 256 + read[7]);
      expected.present = static_cast<std::uint16_t>(read[8] * 256 + read[9]);
      break;
    case 0x01:
      expected.verdict = Verdict::kUnsupported;
      break;
    default:
      expected.verdict = Verdict::kOtherResult;
      break;
  }
  return expected;
}

Verdict verdictOf(ReplyStatus status) {
  switch (status) {
    case ReplyStatus::kValid:
      return Verdict::kValue;
    case ReplyStatus::kUnsupportedCode:
      return Verdict::kUnsupported;
    case ReplyStatus::kUnknownResultCode:
      return Verdict::kOtherResult;
    case ReplyStatus::kNullMessage:
      return Verdict::kNullMessage;
    case ReplyStatus::kShort:
    case ReplyStatus::kBadSourceAddress:
    case ReplyStatus::kBadLength:
    case ReplyStatus::kWrongOpcode:
    case ReplyStatus::kWrongCode:
    case ReplyStatus::kBadChecksum:
      return Verdict::kRejected;
  }
  __builtin_trap();  // a status outside the enumeration
}

void check(bool holds) {
  if (!holds) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t code = size > 0 ? data[0] : 0xD6;
  const std::size_t readSize = size > 0 ? size - 1 : 0;
  const auto read = std::make_unique<std::uint8_t[]>(readSize);
  if (readSize > 0) {
    std::memcpy(read.get(), data + 1, readSize);
  }

  const GetVcpReply reply = kelvane::ddcci::decodeGetVcpReply(read.get(), readSize, code);

  const Expected expected = expectedFor(read.get(), readSize, code);
  check(verdictOf(reply.status) == expected.verdict);
  if (expected.verdict == Verdict::kValue) {
    check(reply.type == expected.type);
    check(reply.maximum == expected.maximum);
    check(reply.present == expected.present);
  }
  return 0;
}
