#include "monitors/linux/display_bus.h"

#include "monitors/linux/bus_lock.h"
#include "monitors/linux/ddc_ci_frame.h"

namespace kelvane::linux_ddc {

DisplayBus::~DisplayBus() {
  release();
}

BusResult DisplayBus::open() {
  if (!opened_) {
    int error = 0;
    device_ = I2cBus::open(number_, error);
    opened_ = device_ ? BusResult{} : BusResult{BusResult::Failure::kOpen, error, 0};
  }
  return *opened_;
}

BusResult DisplayBus::acquire() {
  const BusResult opened = open();
  if (!opened.ok() || locked_) {
    return opened;
  }
  // Another program that kept the bus for the whole timeout is not waited
  // for again: each further wait would add its length to the run.
  if (lockFailure_) {
    return *lockFailure_;
  }
  const int error = lockExclusively(device_->descriptor(), kLockTimeout, *timing_);
  if (error != 0) {
    lockFailure_ = BusResult{BusResult::Failure::kLock, error, 0};
    return *lockFailure_;
  }
  locked_ = true;
  return BusResult{};
}

void DisplayBus::release() {
  if (!locked_) {
    return;
  }
  // Whoever takes the bus next may send at once: the pause is ours to keep.
  if (const auto quiet = pacing_.quietFrom()) {
    timing_->sleepUntil(*quiet);
  }
  unlock(device_->descriptor());
  locked_ = false;
}

BusResult DisplayBus::send(const std::uint8_t* bytes, std::size_t size) {
  const BusResult held = acquire();
  if (!held.ok()) {
    return held;
  }
  pacing_.beforeMessage();
  const TransferResult sent = device_->write(ddcci::kDisplayI2cAddress, bytes, size);
  pacing_.exchangeEnded();
  if (!sent.ok()) {
    failedFirst_ = failedFirst_ || !answered_;
    return BusResult{BusResult::Failure::kTransfer, sent.error, 0};
  }
  answered_ = true;
  return BusResult{BusResult::Failure::kNone, 0, sent.bytes};
}

BusResult DisplayBus::receive(std::uint8_t* bytes, std::size_t size, milliseconds replyWait) {
  const BusResult held = acquire();
  if (!held.ok()) {
    return held;
  }
  pacing_.awaitReply(replyWait);
  const TransferResult got = device_->read(ddcci::kDisplayI2cAddress, bytes, size);
  pacing_.exchangeEnded();
  if (!got.ok()) {
    return BusResult{BusResult::Failure::kTransfer, got.error, 0};
  }
  answered_ = true;
  return BusResult{BusResult::Failure::kNone, 0, got.bytes};
}

std::optional<EdidBlock> DisplayBus::readEdid() {
  if (!acquire().ok()) {
    return std::nullopt;
  }
  const std::uint8_t offset = 0;
  EdidBlock block{};
  const TransferResult got =
      device_->writeThenRead(kEdidI2cAddress, &offset, 1, block.data(), block.size());
  // The EEPROM is not the display's DDC/CI endpoint: no pause is owed, and
  // holding the lock while other buses are probed could only make runs wait
  // for each other.
  release();
  if (!got.ok() || got.bytes != block.size()) {
    return std::nullopt;
  }
  return block;
}

}  // namespace kelvane::linux_ddc
