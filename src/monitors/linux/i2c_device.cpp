#include "monitors/linux/i2c_device.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "monitors/linux/ddc_ci_frame.h"

namespace kelvane::linux_ddc {
namespace {

// A signal may interrupt a transfer before it starts; it is then simply redone.
template <typename Transfer>
ssize_t restartingOnInterrupt(Transfer transfer) {
  ssize_t result = 0;
  do {
    result = transfer();
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

std::optional<DdcChannel> DdcChannel::open(unsigned bus) {
  const std::string path = "/dev/i2c-" + std::to_string(bus);
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) {
    return std::nullopt;
  }
  // The address goes by value in the argument (see linux/i2c-dev.h).
  if (ioctl(fd.get(), I2C_SLAVE, static_cast<unsigned long>(ddcci::kDisplayI2cAddress)) != 0) {
    return std::nullopt;
  }
  return DdcChannel(std::move(fd));
}

TransferResult DdcChannel::write(const std::uint8_t* bytes, std::size_t size) const {
  const ssize_t written = restartingOnInterrupt([&] { return ::write(fd_.get(), bytes, size); });
  if (written < 0) {
    return TransferResult{0, errno};
  }
  // i2c-dev sends one message or nothing; part of a frame is no frame.
  if (static_cast<std::size_t>(written) != size) {
    return TransferResult{static_cast<std::size_t>(written), EIO};
  }
  return TransferResult{size, 0};
}

TransferResult DdcChannel::read(std::uint8_t* bytes, std::size_t size) const {
  const ssize_t got = restartingOnInterrupt([&] { return ::read(fd_.get(), bytes, size); });
  if (got < 0) {
    return TransferResult{0, errno};
  }
  return TransferResult{static_cast<std::size_t>(got), 0};
}

}  // namespace kelvane::linux_ddc
