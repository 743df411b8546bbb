// SPDX-License-Identifier: MIT
// The set of physical monitors attached to the desktop, and the VESA MCCS
// power-mode control (VCP code 0xD6) sent to them over DDC/CI.
#pragma once

#include <cstdint>
#include <set>

#include "monitors/platform.h"
#include "monitors/power_mode.h"

namespace kelvane {

using PhysicalMonitorHandle = platform::PhysicalMonitorHandle;

// What queryPowerMode reports: the monitor's own VCP 0xD6 value, or one of
// the two sentinels below.
using StatusValue = std::int32_t;
inline constexpr StatusValue kStatusReadFailed = -1;
inline constexpr StatusValue kStatusNoMonitor = -2;

// Told of every operation on a monitor that fails, with the platform's
// reason, and of why no monitor was found at all.
class FailureReporter {
 public:
  virtual ~FailureReporter() = default;
  virtual void report(const platform::Failure& failure) = 0;
  // The test routine was interrupted, and every monitor sent On again (those
  // that could not be are reported as failures).
  virtual void reportInterruptedRoutine() {}

 protected:
  FailureReporter() = default;
  FailureReporter(const FailureReporter&) = default;
  FailureReporter& operator=(const FailureReporter&) = default;
  FailureReporter(FailureReporter&&) = default;
  FailureReporter& operator=(FailureReporter&&) = default;
};

// Opens every physical monitor when created and closes them when destroyed.
// The set is fixed at construction: monitors attached later are not seen.
class Monitors {
 public:
  // Failures go to reporter when one is given; the results stay the same.
  explicit Monitors(FailureReporter* reporter = nullptr);
  virtual ~Monitors();

  Monitors(const Monitors&) = delete;
  Monitors& operator=(const Monitors&) = delete;
  Monitors(Monitors&&) = delete;
  Monitors& operator=(Monitors&&) = delete;

  // Sends the mode to every monitor, smallest handle first. A monitor that
  // does not take it is reported and does not stop the others.
  void setPowerMode(PowerMode mode) const;

  // Reads the power mode of the monitor with the smallest handle.
  StatusValue queryPowerMode() const;

 private:
  void reportLastFailure() const;

  std::set<PhysicalMonitorHandle> handles_;
  FailureReporter* reporter_;
};

}  // namespace kelvane
