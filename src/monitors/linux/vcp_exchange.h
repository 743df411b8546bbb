// SPDX-License-Identifier: MIT
// One Get or Set VCP Feature with a display, over its bus: the frames of
// ddc_ci_frame.h, the waits of ddc_pacing.h and the retries that real
// displays need.
#pragma once

#include <cstdint>

#include "monitors/linux/ddc_ci_frame.h"
#include "monitors/linux/display_bus.h"

namespace kelvane::linux_ddc {

struct VcpResult {
  enum class Outcome {
    kDone,          // a Set went out; a Get got a valid reply
    kBusFailed,     // bus: the open, the lock or the request itself failed
    kUnsupported,   // the display has no such control
    kNoValidReply,  // only null messages, garbage or failed reads, every attempt
  };
  Outcome outcome = Outcome::kDone;
  BusResult bus;                                              // the failure, for kBusFailed
  ddcci::ReplyStatus lastReply = ddcci::ReplyStatus::kValid;  // for kNoValidReply
  int lastReadError = 0;     // for kNoValidReply, when a read failed
  ddcci::GetVcpReply reply;  // for a Get that is kDone
  bool ok() const { return outcome == Outcome::kDone; }
};

// A request refused with a NAK (nothing answers at 0x37: DDC/CI off, the
// display asleep or still waking, or none there) is sent once more after the
// pause; a request that fails otherwise (a dead bus) is not. A null message,
// a garbled reply or a failed read is retried, waiting longer each time, as
// some displays need 100 to 200 ms.
VcpResult getVcpFeature(DisplayBus& bus, std::uint8_t vcpCode);

// One write (twice when the first is refused with a NAK) and no read-back:
// reading the power mode back could wake a display just told to sleep.
VcpResult setVcpFeature(DisplayBus& bus, std::uint8_t vcpCode, std::uint16_t value);

}  // namespace kelvane::linux_ddc
