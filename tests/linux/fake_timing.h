// SPDX-License-Identifier: MIT
// A clock for the bus policy's tests: it moves only when someone sleeps, and
// remembers each sleep, so that the protocol's waits show in milliseconds
// without being waited.
#pragma once

#include <utility>
#include <vector>

#include "monitors/linux/ddc_pacing.h"

namespace kelvane::linux_ddc {

class FakeTiming final : public Timing {
 public:
  Clock::time_point now() const override { return now_; }
  void sleepUntil(Clock::time_point until) override {
    if (until > now_) {
      sleeps_.push_back(std::chrono::duration_cast<milliseconds>(until - now_));
      now_ = until;
    }
  }
  void advance(milliseconds by) { now_ += by; }
  std::vector<milliseconds> takeSleeps() { return std::exchange(sleeps_, {}); }
  // Milliseconds since the clock started.
  long long elapsed() const {
    return std::chrono::duration_cast<milliseconds>(now_ - Clock::time_point{}).count();
  }

 private:
  Clock::time_point now_{};
  std::vector<milliseconds> sleeps_;
};

}  // namespace kelvane::linux_ddc
