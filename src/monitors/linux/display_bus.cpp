// SPDX-License-Identifier: MIT
#include "monitors/linux/display_bus.h"

#include <algorithm>
#include <cerrno>

#include "monitors/linux/bus_lock.h"
#include "monitors/linux/ddc_ci_frame.h"
#include "monitors/linux/i2c_bus.h"

namespace kelvane::linux_ddc {
namespace {

long long millisecondsUntil(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<milliseconds>(to - from).count();
}

std::string addressText(std::uint8_t address) {
  return address == kEdidI2cAddress ? "0x50" : "0x37";
}

}  // namespace

void DisplayBus::trace(const std::string& text) const {
  if (tracer_->on()) {
    tracer_->line("i2c-" + std::to_string(number_) + ": " + text);
  }
}

void DisplayBus::traceTransfer(const char* what, std::uint8_t address, const std::uint8_t* bytes,
                               const TransferResult& result, bool wasPlain) const {
  if (!tracer_->on()) {
    return;
  }
  if (!wasPlain && device_->usesPlainTransfers()) {
    trace("I2C_RDWR refused (" + errorText(EINVAL) + "): plain write and read from now on");
  }
  std::string text = std::string(what) + " " + addressText(address);
  if (result.ok()) {
    text += ": " + hexBytes(bytes, result.bytes);
  } else {
    text += " failed: " + errorText(result.error);
  }
  trace(text);
}

DisplayBus::~DisplayBus() {
  release();
}

BusResult DisplayBus::open() {
  if (opened_) {
    return *opened_;
  }
  if (identity_ && devices_->adapterIdentity(number_) != *identity_) {
    // Gone, or another adapter took the number: what answers there now is
    // not the display this bus was found to carry.
    opened_ = BusResult{BusResult::Failure::kOpen, ENODEV, 0};
    trace("no longer the adapter it was: " + errorText(ENODEV));
    return *opened_;
  }
  int error = 0;
  device_ = devices_->open(number_, error);
  opened_ = device_ ? BusResult{} : BusResult{BusResult::Failure::kOpen, error, 0};
  trace("open " + i2cDevicePath(number_) +
        (device_ ? std::string() : " failed: " + errorText(error)));
  if (device_) {
    if (!identity_) {
      identity_ = devices_->adapterIdentity(number_);
    }
    if (plainTransfers_) {
      device_->usePlainTransfers();
    }
  }
  return *opened_;
}

void DisplayBus::close() {
  release();
  if (device_) {
    plainTransfers_ = device_->usesPlainTransfers();
    device_.reset();
    trace("closed");
  }
  opened_.reset();
  lockFailure_.reset();
}

BusResult DisplayBus::acquire() {
  const BusResult opened = open();
  if (!opened.ok() || locked_) {
    return opened;
  }
  // Another program that kept the bus for the whole timeout is not waited
  // for again until the bus is closed: each further wait in the same step
  // would add its length to the run.
  if (lockFailure_) {
    return *lockFailure_;
  }
  const Clock::time_point asked = timing_->now();
  const int error = device_->lock(kLockTimeout, *timing_);
  const long long waited = millisecondsUntil(asked, timing_->now());
  if (error != 0) {
    trace("lock not taken after " + std::to_string(waited) + " ms: " + errorText(error));
    lockFailure_ = BusResult{BusResult::Failure::kLock, error, 0};
    return *lockFailure_;
  }
  trace("lock taken after " + std::to_string(waited) + " ms");
  locked_ = true;
  return BusResult{};
}

void DisplayBus::release() {
  if (!locked_) {
    return;
  }
  // Whoever takes the bus next may send at once: the pause is ours to keep.
  keepPause();
  device_->unlock();
  trace("lock given back");
  locked_ = false;
}

void DisplayBus::keepPause() const {
  if (const auto quiet = pacing_.quietFrom()) {
    const long long wait = millisecondsUntil(timing_->now(), *quiet);
    if (wait > 0) {
      trace("wait " + std::to_string(wait) + " ms, the pause after the last exchange");
    }
  }
  pacing_.beforeMessage();
}

void DisplayBus::traceRelease() const {
  if (!locked_) {
    return;
  }
  const auto quiet = pacing_.quietFrom();
  const long long wait = quiet ? std::max(0LL, millisecondsUntil(timing_->now(), *quiet)) : 0;
  trace("at the end of the run: wait " + std::to_string(wait) +
        " ms, the pause after the last exchange, then give the lock back");
}

std::optional<OwedPause> DisplayBus::owedPause() const {
  const std::optional<Clock::time_point> quiet = pacing_.quietFrom();
  if (!locked_ || !quiet || *quiet <= timing_->now() || device_->descriptor() < 0) {
    return std::nullopt;
  }
  return OwedPause{device_->descriptor(), *quiet};
}

void DisplayBus::handOver() {
  device_.reset();
  locked_ = false;
  opened_.reset();
}

BusResult DisplayBus::send(const std::uint8_t* bytes, std::size_t size) {
  const BusResult held = acquire();
  if (!held.ok()) {
    return held;
  }
  keepPause();
  const bool wasPlain = device_->usesPlainTransfers();
  const TransferResult sent = device_->write(ddcci::kDisplayI2cAddress, bytes, size);
  pacing_.exchangeEnded();
  traceTransfer("write to", ddcci::kDisplayI2cAddress, bytes, TransferResult{size, sent.error},
                wasPlain);
  if (!sent.ok()) {
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
  trace("wait " + std::to_string(replyWait.count()) + " ms for the reply");
  pacing_.awaitReply(replyWait);
  const bool wasPlain = device_->usesPlainTransfers();
  const TransferResult got = device_->read(ddcci::kDisplayI2cAddress, bytes, size);
  pacing_.exchangeEnded();
  traceTransfer("read from", ddcci::kDisplayI2cAddress, bytes, got, wasPlain);
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
  const bool wasPlain = device_->usesPlainTransfers();
  const TransferResult got =
      device_->writeThenRead(kEdidI2cAddress, &offset, 1, block.data(), block.size());
  traceTransfer("EDID read at", kEdidI2cAddress, block.data(), got, wasPlain);
  // The EEPROM is not the display's DDC/CI endpoint: no pause is owed, and
  // holding the lock while other buses are probed could only make runs wait
  // for each other.
  release();
  if (!got.ok() || got.bytes != block.size()) {
    return std::nullopt;
  }
  answered_ = answered_ || isValidEdid(block);
  return block;
}

}  // namespace kelvane::linux_ddc
