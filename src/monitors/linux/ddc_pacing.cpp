// SPDX-License-Identifier: MIT
#include "monitors/linux/ddc_pacing.h"

#include <thread>

#include "monitors/interruption.h"

namespace kelvane::linux_ddc {

Clock::time_point SystemTiming::now() const {
  return Clock::now();
}

void SystemTiming::sleepUntil(Clock::time_point until) {
  // Goes on sleeping after a signal: the protocol's waits are never cut short.
  std::this_thread::sleep_until(until);
}

void SystemTiming::restUntil(Clock::time_point until) {
  interruption::rest(std::chrono::duration_cast<milliseconds>(until - now()));
}

void DdcPacing::beforeMessage() const {
  if (const auto quiet = quietFrom()) {
    timing_->sleepUntil(*quiet);
  }
}

void DdcPacing::exchangeEnded() {
  lastExchangeEnd_ = timing_->now();
}

void DdcPacing::awaitReply(milliseconds wait) const {
  timing_->sleepFor(wait);
}

std::optional<Clock::time_point> DdcPacing::quietFrom() const {
  if (!lastExchangeEnd_) {
    return std::nullopt;
  }
  return *lastExchangeEnd_ + kMessageGap;
}

void DdcPacing::continueFrom(const DdcPacing& other) {
  if (other.lastExchangeEnd_ &&
      (!lastExchangeEnd_ || *other.lastExchangeEnd_ > *lastExchangeEnd_)) {
    lastExchangeEnd_ = other.lastExchangeEnd_;
  }
}

}  // namespace kelvane::linux_ddc
