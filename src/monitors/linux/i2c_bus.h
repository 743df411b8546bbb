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
#include <optional>
#include <string>
#include <utility>

#include "monitors/linux/unique_fd.h"

namespace kelvane::linux_ddc {

// The outcome of one message: the bytes moved, or the errno of the failure.
struct TransferResult {
  std::size_t bytes = 0;
  int error = 0;
  bool ok() const { return error == 0; }
};

// Whether a transfer failed because nothing acknowledged the address: ENXIO
// on most adapters, EREMOTEIO on a DisplayPort AUX channel.
bool isAddressNak(int error);

// "/dev/i2c-N": the node i2c-dev makes for bus N.
std::string i2cDevicePath(unsigned bus);

class I2cBus {
 public:
  // /dev/i2c-N; unset with error set to the errno of the failed open (ENOENT
  // without the i2c-dev module, EACCES without the access rule).
  static std::optional<I2cBus> open(unsigned number, int& error);

  // The descriptor, for the advisory lock.
  int descriptor() const { return fd_.get(); }

  TransferResult write(std::uint8_t address, const std::uint8_t* bytes, std::size_t size);
  TransferResult read(std::uint8_t address, std::uint8_t* bytes, std::size_t size);
  // A write and a read in one transaction, with a repeated start between:
  // how an EEPROM is read from an offset.
  TransferResult writeThenRead(std::uint8_t address, const std::uint8_t* request,
                               std::size_t requestSize, std::uint8_t* reply, std::size_t replySize);

  // Whether the driver refused I2C_RDWR and plain read/write is used instead.
  bool usesPlainTransfers() const { return plain_; }
  // For a bus opened again whose driver refused I2C_RDWR before.
  void usePlainTransfers() { plain_ = true; }

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

}  // namespace kelvane::linux_ddc
