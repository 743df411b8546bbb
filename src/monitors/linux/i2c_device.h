// SPDX-License-Identifier: MIT
// What the bus policy (display_bus.h) needs of an I2C bus, apart from how it
// is reached: the kernel's i2c-dev in a run (i2c_bus.h), a script in the
// tests, so that the retries, the waits and the lock can be checked in
// milliseconds of a fake clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "monitors/linux/ddc_pacing.h"

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

class I2cDevice {
 public:
  virtual ~I2cDevice() = default;

  virtual TransferResult write(std::uint8_t address, const std::uint8_t* bytes,
                               std::size_t size) = 0;
  virtual TransferResult read(std::uint8_t address, std::uint8_t* bytes, std::size_t size) = 0;
  // A write and a read in one transaction, with a repeated start between:
  // how an EEPROM is read from an offset.
  virtual TransferResult writeThenRead(std::uint8_t address, const std::uint8_t* request,
                                       std::size_t requestSize, std::uint8_t* reply,
                                       std::size_t replySize) = 0;

  // Whether the driver refused combined transfers, and plain read and write
  // are used instead; a device opened again is told so at once.
  virtual bool usesPlainTransfers() const = 0;
  virtual void usePlainTransfers() = 0;

  // The advisory lock that other programs on the bus respect (bus_lock.h):
  // 0 once held; ETIMEDOUT when another holder kept it for the whole
  // timeout; otherwise the errno of the failure.
  virtual int lock(milliseconds timeout, Timing& timing) = 0;
  virtual void unlock() = 0;
  // The open file that holds the lock, for a process that keeps it after
  // the run (pause_keeper.h); -1 when there is none to keep.
  virtual int descriptor() const = 0;

 protected:
  I2cDevice() = default;
  I2cDevice(const I2cDevice&) = default;
  I2cDevice& operator=(const I2cDevice&) = default;
  I2cDevice(I2cDevice&&) = default;
  I2cDevice& operator=(I2cDevice&&) = default;
};

// Where the devices come from.
class I2cDevices {
 public:
  virtual ~I2cDevices() = default;
  // Unset with error set to the errno of the failed open.
  virtual std::unique_ptr<I2cDevice> open(unsigned bus, int& error) = 0;
  // What tells the adapter that carries the number now from another that
  // may take it later (a dock unplugged, another plugged in); empty when no
  // adapter carries it.
  virtual std::string adapterIdentity(unsigned bus) const = 0;

 protected:
  I2cDevices() = default;
  I2cDevices(const I2cDevices&) = default;
  I2cDevices& operator=(const I2cDevices&) = default;
  I2cDevices(I2cDevices&&) = default;
  I2cDevices& operator=(I2cDevices&&) = default;
};

}  // namespace kelvane::linux_ddc
