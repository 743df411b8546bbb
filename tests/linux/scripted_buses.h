// SPDX-License-Identifier: MIT
// Buses that answer from a script, on a fake clock, for the bus policy's
// tests in-process: each keeps a timeline of what the host did to it
// ("90 i2c-5 get D6"), so that a test states the retries, the waits and the
// lock as one list.
#pragma once

#include <cerrno>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_timing.h"
#include "monitors/linux/ddc_ci_frame.h"
#include "monitors/linux/i2c_device.h"

namespace kelvane::linux_ddc {

using Timeline = std::vector<std::string>;

// The state of one bus and the display behind it, kept across opens.
struct ScriptedBus {
  // The errno each DDC/CI write gets, in order; then everyWriteError.
  std::deque<int> writeErrors;
  int everyWriteError = 0;
  // What each reply read gets, in order; then a valid reply (present value 1).
  std::deque<std::vector<std::uint8_t>> replies;
  // Another program holds the bus's lock until then.
  Clock::time_point lockedUntil{};
  std::string identity = "the adapter";
};

class ScriptedBuses final : public I2cDevices {
 public:
  explicit ScriptedBuses(FakeTiming& timing) : timing_(&timing) {}
  ScriptedBus& bus(unsigned number) { return buses_[number]; }
  const Timeline& timeline() const { return timeline_; }

  std::unique_ptr<I2cDevice> open(unsigned bus, int& error) override;
  std::string adapterIdentity(unsigned bus) const override;

  // For the devices: one line of the timeline.
  void log(unsigned bus, const std::string& what) {
    timeline_.push_back(std::to_string(timing_->elapsed()) + " i2c-" + std::to_string(bus) + " " +
                        what);
  }
  FakeTiming& timing() { return *timing_; }

 private:
  FakeTiming* timing_;
  std::map<unsigned, ScriptedBus> buses_;
  Timeline timeline_;
};

// A valid reply to Get VCP D6 with the given present value.
std::vector<std::uint8_t> powerModeReply(std::uint16_t present);
// The display's "nothing to say yet".
std::vector<std::uint8_t> nullReply();

}  // namespace kelvane::linux_ddc
