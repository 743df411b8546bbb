// SPDX-License-Identifier: MIT
#include "monitors/linux/vcp_exchange.h"

#include <string>

namespace kelvane::linux_ddc {
namespace {

// Waits before reading each attempt's reply. Five attempts end, with the
// gaps between them, within about 0.8 s even when the display never answers.
constexpr milliseconds kReplyWaits[] = {kReplyDelay, milliseconds{80}, milliseconds{120},
                                        milliseconds{160}, milliseconds{200}};
static_assert(kReplyWaits[0] >= kReplyDelay, "the first read must respect the reply delay");

// A display still waking may refuse a message once. One more try, after the
// pause every message is owed, tells it from one that has DDC/CI off or is
// asleep; further tries would only make the run longer.
BusResult sendTryingTwiceOnNak(DisplayBus& bus, const std::uint8_t* bytes, std::size_t size) {
  const BusResult sent = bus.send(bytes, size);
  if (sent.failure != BusResult::Failure::kTransfer || !isAddressNak(sent.error)) {
    return sent;
  }
  bus.trace("refused: once more after the pause");
  return bus.send(bytes, size);
}

}  // namespace

VcpResult getVcpFeature(DisplayBus& bus, std::uint8_t vcpCode) {
  VcpResult result;
  const ddcci::GetVcpRequest request = ddcci::encodeGetVcpRequest(vcpCode);
  for (const milliseconds replyWait : kReplyWaits) {
    const BusResult sent = sendTryingTwiceOnNak(bus, request.data(), request.size());
    if (!sent.ok()) {
      result.outcome = VcpResult::Outcome::kBusFailed;
      result.bus = sent;
      return result;
    }
    std::uint8_t buffer[ddcci::kGetVcpReplySize] = {};
    const BusResult got = bus.receive(buffer, sizeof buffer, replyWait);
    if (!got.ok()) {
      if (got.failure != BusResult::Failure::kTransfer) {
        result.outcome = VcpResult::Outcome::kBusFailed;
        result.bus = got;
        return result;
      }
      result.lastReadError = got.error;  // a display still busy may refuse the read
      continue;
    }
    result.lastReadError = 0;
    result.reply = ddcci::decodeGetVcpReply(buffer, got.bytes, vcpCode);
    result.lastReply = result.reply.status;
    if (result.reply.status == ddcci::ReplyStatus::kValid) {
      bus.trace("reply: present value " + std::to_string(result.reply.present) + ", maximum " +
                std::to_string(result.reply.maximum));
    } else {
      bus.trace(std::string("reply: ") + ddcci::describe(result.reply.status));
    }
    switch (result.reply.status) {
      case ddcci::ReplyStatus::kValid:
        result.outcome = VcpResult::Outcome::kDone;
        return result;
      case ddcci::ReplyStatus::kUnsupportedCode:
        result.outcome = VcpResult::Outcome::kUnsupported;  // asking again changes nothing
        return result;
      default:
        break;
    }
  }
  result.outcome = VcpResult::Outcome::kNoValidReply;
  return result;
}

VcpResult setVcpFeature(DisplayBus& bus, std::uint8_t vcpCode, std::uint16_t value) {
  VcpResult result;
  const ddcci::SetVcpRequest request = ddcci::encodeSetVcpRequest(vcpCode, value);
  const BusResult sent = sendTryingTwiceOnNak(bus, request.data(), request.size());
  if (!sent.ok()) {
    result.outcome = VcpResult::Outcome::kBusFailed;
    result.bus = sent;
  }
  return result;
}

}  // namespace kelvane::linux_ddc
