// SPDX-License-Identifier: MIT
// The glue between umockdev and the emulated displays: a testbed (the fake
// sysfs and /dev), and each /dev/i2c-N node's ioctl, read and write calls
// handed to the display that answers there.
#pragma once

#include <umockdev.h>

#include <string>
#include <vector>

#include "emulated_display.h"

namespace kelvane::emulation {

class UmockdevBridge {
 public:
  UmockdevBridge();
  ~UmockdevBridge();
  UmockdevBridge(const UmockdevBridge&) = delete;
  UmockdevBridge& operator=(const UmockdevBridge&) = delete;
  UmockdevBridge(UmockdevBridge&&) = delete;
  UmockdevBridge& operator=(UmockdevBridge&&) = delete;

  // Whether this process runs under umockdev-wrapper, as it must.
  static bool preloaded();
  bool ready() const { return testbed_ != nullptr; }

  // Adds devices described in umockdump's text format; false, with why, on
  // failure.
  bool add(const std::string& description, std::string& error);
  // Routes /dev/i2c-N to the display.
  bool attach(unsigned bus, EmulatedDisplay* display, std::string& error);
  // The fake sysfs's root, for what umockdev cannot do itself.
  std::string sysDirectory() const;

 private:
  UMockdevTestbed* testbed_ = nullptr;
  std::vector<UMockdevIoctlBase*> handlers_;
};

}  // namespace kelvane::emulation
