// SPDX-License-Identifier: MIT
// The waits DDC/CI v1.1 asks of the host, kept for one display: 40 ms between
// a Get VCP request and the read of its reply, and 50 ms between the end of
// one exchange and the next message. A display may silently drop a command
// that comes sooner.
//
// The clock and the sleeping come from a Timing, so that the rules can be
// checked without waiting.
#pragma once

#include <chrono>
#include <optional>

namespace kelvane::linux_ddc {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline constexpr milliseconds kReplyDelay{40};
inline constexpr milliseconds kMessageGap{50};

class Timing {
 public:
  Timing() = default;
  virtual ~Timing() = default;
  Timing(const Timing&) = delete;
  Timing& operator=(const Timing&) = delete;
  Timing(Timing&&) = delete;
  Timing& operator=(Timing&&) = delete;

  virtual Clock::time_point now() const = 0;
  // Returns at or after the given time point; at once when it has passed.
  // For the protocol's waits, which nothing may cut short.
  virtual void sleepUntil(Clock::time_point until) = 0;
  // A rest between the steps of a run, which an interruption ends early.
  virtual void restUntil(Clock::time_point until) { sleepUntil(until); }
  void sleepFor(Clock::duration duration) { sleepUntil(now() + duration); }
};

// The real clock and the real sleep.
class SystemTiming final : public Timing {
 public:
  Clock::time_point now() const override;
  void sleepUntil(Clock::time_point until) override;
  void restUntil(Clock::time_point until) override;
};

class DdcPacing {
 public:
  explicit DdcPacing(Timing& timing) : timing_(&timing) {}

  // Just before a message goes out: sleeps only what is left of the gap.
  void beforeMessage() const;
  // Just after a message or its reply went over the wire, or failed to.
  void exchangeEnded();
  // After a request: the display's time to prepare its reply.
  void awaitReply(milliseconds wait) const;
  // When the display may take its next message: now, or in the future.
  std::optional<Clock::time_point> quietFrom() const;
  // Takes over another bus's last exchange with the same display.
  void continueFrom(const DdcPacing& other);

 private:
  Timing* timing_;
  std::optional<Clock::time_point> lastExchangeEnd_;
};

}  // namespace kelvane::linux_ddc
