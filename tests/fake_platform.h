// SPDX-License-Identifier: MIT
// An in-memory platform for the tests: display monitors and physical monitors
// are scripted per test, and every platform call is logged in order so that a
// test can state a whole sequence of calls in a few lines.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "monitors/platform.h"

namespace kelvane::fake {

struct DisplayMonitor {
  bool countFails = false;
  // The count reported; when unset, the number of handles below.
  std::optional<std::uint32_t> count;
  bool fillFails = false;
  // The handles written into the records, in array order.
  std::vector<std::uintptr_t> handles;
  // What lastFailure() says after the count or the fill failed.
  platform::Failure failure;
};

struct PhysicalMonitor {
  bool readFails = false;
  bool setFails = false;
  std::uint32_t powerMode = 1;
  // What lastFailure() says after a read or a set failed.
  platform::Failure failure;
};

// Scripts for the common cases.
DisplayMonitor displayWith(std::vector<std::uintptr_t> handles);
DisplayMonitor displayWhoseCountFails();
DisplayMonitor displayWhoseFillFails(std::vector<std::uintptr_t> handles);
DisplayMonitor displayReportingCount(std::uint32_t count, std::vector<std::uintptr_t> handles);
PhysicalMonitor answering(std::uint32_t powerMode);
PhysicalMonitor failingRead();

// Log lines, one per call:
//   "enumerate"        "count D1"           "fill D1 2"
//   "set 0x10 4"       "get 0x10"           "destroy 0x10"     "sleep 5000"
// Display monitors are named D1, D2... in script order; handles are in hex.
class Platform {
 public:
  void reset();

  std::vector<DisplayMonitor> displays;
  // Monitors not listed here answer power mode 1; a set changes the answer.
  std::map<std::uintptr_t, PhysicalMonitor> monitors;
  // What whyNoMonitor() says.
  platform::Failure noMonitor;
  std::vector<std::string> log;

  // The last failure, and where the calls are traced to (each log line).
  platform::Failure last;
  platform::TraceSink* trace = nullptr;

  // Handles opened by a fill and not yet destroyed.
  std::set<std::uintptr_t> open;

  // A signal that this process gets during the sleep of the given number
  // (the first is 1), as from Ctrl+C: the run's handlers take it.
  int signalDuringSleep = 0;
  std::size_t signalledSleep = 0;
  std::size_t sleeps = 0;
};

// The platform calls of the process go to this one instance.
Platform& platform();

std::string handleName(std::uintptr_t handle);

}  // namespace kelvane::fake
