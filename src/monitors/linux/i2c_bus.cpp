// SPDX-License-Identifier: MIT
#include "monitors/linux/i2c_bus.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "monitors/linux/bus_lock.h"
#include "monitors/linux/sysfs.h"

namespace kelvane::linux_ddc {
namespace {

// i2c-dev caps a message at 8192 bytes; ours are a few dozen.
constexpr std::size_t kMaxMessageSize = 8192;

// A signal may interrupt a transfer before it starts; it is then simply redone.
template <typename Transfer>
int restartingOnInterrupt(Transfer transfer) {
  int result = 0;
  do {
    result = transfer();
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

bool isAddressNak(int error) {
  return error == ENXIO || error == EREMOTEIO;
}

std::string i2cDevicePath(unsigned bus) {
  return "/dev/i2c-" + std::to_string(bus);
}

std::unique_ptr<I2cBus> I2cBus::open(unsigned number, int& error) {
  const std::string path = i2cDevicePath(number);
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) {
    error = errno;
    return nullptr;
  }
  error = 0;
  return std::unique_ptr<I2cBus>(new I2cBus(std::move(fd)));
}

int I2cBus::lock(milliseconds timeout, Timing& timing) {
  return lockExclusively(fd_.get(), timeout, timing);
}

void I2cBus::unlock() {
  linux_ddc::unlock(fd_.get());
}

std::unique_ptr<I2cDevice> SystemI2cDevices::open(unsigned bus, int& error) {
  return I2cBus::open(bus, error);
}

std::string SystemI2cDevices::adapterIdentity(unsigned bus) const {
  const std::string adapter = sysfsRoot_ + "/bus/i2c/devices/i2c-" + std::to_string(bus);
  const std::optional<std::string> path = canonicalPath(adapter);
  return path ? *path + "\n" + readAttribute(adapter + "/name").value_or("") : std::string();
}

TransferResult I2cBus::write(std::uint8_t address, const std::uint8_t* bytes, std::size_t size) {
  // i2c-dev reads nothing through the buffer of a write message.
  Message message{false, const_cast<std::uint8_t*>(bytes), size};
  return transfer(address, &message, 1);
}

// The kernel writes the reply through bytes, out of the compiler's sight.
// NOLINTNEXTLINE(readability-non-const-parameter)
TransferResult I2cBus::read(std::uint8_t address, std::uint8_t* bytes, std::size_t size) {
  Message message{true, bytes, size};
  return transfer(address, &message, 1);
}

TransferResult I2cBus::writeThenRead(std::uint8_t address, const std::uint8_t* request,
                                     std::size_t requestSize, std::uint8_t* reply,
                                     std::size_t replySize) {
  Message messages[] = {{false, const_cast<std::uint8_t*>(request), requestSize},
                        {true, reply, replySize}};
  return transfer(address, messages, 2);
}

TransferResult I2cBus::transfer(std::uint8_t address, Message* messages, std::size_t count) {
  // Zeroed whole, padding included: the kernel reads the structures as bytes.
  i2c_msg kernelMessages[2] = {};
  std::memset(kernelMessages, 0, sizeof kernelMessages);
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (messages[i].size > kMaxMessageSize || count > 2) {
      return TransferResult{0, EINVAL};
    }
    kernelMessages[i].addr = address;
    kernelMessages[i].flags = messages[i].read ? I2C_M_RD : 0;
    kernelMessages[i].len = static_cast<__u16>(messages[i].size);
    kernelMessages[i].buf = messages[i].bytes;
    total += messages[i].read ? messages[i].size : 0;
  }
  if (!plain_) {
    i2c_rdwr_ioctl_data data{};
    std::memset(&data, 0, sizeof data);
    data.msgs = kernelMessages;
    data.nmsgs = static_cast<__u32>(count);
    const int done = restartingOnInterrupt([&] { return ioctl(fd_.get(), I2C_RDWR, &data); });
    if (done >= 0) {
      return TransferResult{total, 0};
    }
    if (errno != EINVAL) {
      return TransferResult{0, errno};
    }
    plain_ = true;
  }
  return transferPlain(address, messages, count);
}

TransferResult I2cBus::transferPlain(std::uint8_t address, const Message* messages,
                                     std::size_t count) {
  if (selected_ != address) {
    // The address goes by value in the argument (see linux/i2c-dev.h).
    if (ioctl(fd_.get(), I2C_SLAVE, static_cast<unsigned long>(address)) != 0) {
      return TransferResult{0, errno};
    }
    selected_ = address;
  }
  std::size_t got = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const Message& message = messages[i];
    const ssize_t moved = restartingOnInterrupt([&] {
      return static_cast<int>(message.read ? ::read(fd_.get(), message.bytes, message.size)
                                           : ::write(fd_.get(), message.bytes, message.size));
    });
    if (moved < 0) {
      return TransferResult{got, errno};
    }
    if (!message.read && static_cast<std::size_t>(moved) != message.size) {
      // i2c-dev sends one message or nothing; part of a frame is no frame.
      return TransferResult{got, EIO};
    }
    got += message.read ? static_cast<std::size_t>(moved) : 0;
  }
  return TransferResult{got, 0};
}

}  // namespace kelvane::linux_ddc
