// SPDX-License-Identifier: MIT
// How bytes reach a device on an I2C bus: the kernel's i2c-dev interface.
//
// Each message carries its address (I2C_RDWR), so that a kernel driver bound
// at the display's address (the ddcci backlight driver, say) does not lock us
// out: I2C_SLAVE refuses an address in use with EBUSY, I2C_RDWR does not
// check. Some NVIDIA driver builds refuse I2C_RDWR with EINVAL (they reject
// flags the kernel adds); on such a bus the messages go as plain write() and
// read() after I2C_SLAVE, for the rest of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "monitors/linux/i2c_device.h"
#include "monitors/linux/unique_fd.h"

namespace kelvane::linux_ddc {

// "/dev/i2c-N": the node i2c-dev makes for bus N.
std::string i2cDevicePath(unsigned bus);

class I2cBus final : public I2cDevice {
 public:
  // /dev/i2c-N; unset with error set to the errno of the failed open (ENOENT
  // without the i2c-dev module, EACCES without the access rule).
  static std::unique_ptr<I2cBus> open(unsigned number, int& error);

  TransferResult write(std::uint8_t address, const std::uint8_t* bytes, std::size_t size) override;
  TransferResult read(std::uint8_t address, std::uint8_t* bytes, std::size_t size) override;
  TransferResult writeThenRead(std::uint8_t address, const std::uint8_t* request,
                               std::size_t requestSize, std::uint8_t* reply,
                               std::size_t replySize) override;

  bool usesPlainTransfers() const override { return plain_; }
  void usePlainTransfers() override { plain_ = true; }

  int lock(milliseconds timeout, Timing& timing) override;
  void unlock() override;
  int descriptor() const override { return fd_.get(); }

 private:
  explicit I2cBus(UniqueFd fd) : fd_(std::move(fd)) {}
  struct Message {
    bool read;
    std::uint8_t* bytes;
    std::size_t size;
  };
  TransferResult transfer(std::uint8_t address, Message* messages, std::size_t count);
  TransferResult transferPlain(std::uint8_t address, const Message* messages, std::size_t count);

  UniqueFd fd_;
  bool plain_ = false;
  std::optional<std::uint8_t> selected_;  // the I2C_SLAVE address, in plain mode
};

// The buses of this machine: /dev/i2c-N, and their adapters in sysfs.
class SystemI2cDevices final : public I2cDevices {
 public:
  explicit SystemI2cDevices(std::string sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}
  std::unique_ptr<I2cDevice> open(unsigned bus, int& error) override;
  // The adapter's place in the device tree, and its name.
  std::string adapterIdentity(unsigned bus) const override;

 private:
  std::string sysfsRoot_;
};

}  // namespace kelvane::linux_ddc
