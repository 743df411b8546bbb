// How bytes reach a display: the kernel's i2c-dev interface, one plain
// write() or read() per I2C message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "monitors/linux/unique_fd.h"

namespace kelvane::linux_ddc {

// The outcome of one message: the bytes moved, or the errno of the failure.
struct TransferResult {
  std::size_t bytes = 0;
  int error = 0;
  bool ok() const { return error == 0; }
};

// /dev/i2c-N with the display's DDC/CI address selected. It never addresses
// anything else: the address is fixed when the device is opened.
class DdcChannel {
 public:
  // Unset when the node cannot be opened (no i2c-dev module, no permission)
  // or the address cannot be selected (EBUSY: a kernel driver owns it).
  static std::optional<DdcChannel> open(unsigned bus);

  TransferResult write(const std::uint8_t* bytes, std::size_t size) const;
  TransferResult read(std::uint8_t* bytes, std::size_t size) const;

 private:
  explicit DdcChannel(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

}  // namespace kelvane::linux_ddc
