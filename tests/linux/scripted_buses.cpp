// SPDX-License-Identifier: MIT
#include "scripted_buses.h"

#include <algorithm>

#include "monitors/hex_text.h"
#include "monitors/linux/bus_lock.h"

namespace kelvane::linux_ddc {
namespace {

std::string errorName(int error) {
  switch (error) {
    case ENXIO:
      return "NAK";
    case EREMOTEIO:
      return "NAK (AUX)";
    case EIO:
      return "EIO";
    default:
      return "errno " + std::to_string(error);
  }
}

// What the host's frame asks, as the emulated displays write it.
std::string described(const std::uint8_t* bytes, std::size_t size) {
  const std::string code = size > 3 ? hexNumber(bytes[3], 2).substr(2) : "";
  if (size == 5 && bytes[2] == 0x01) {
    return "get " + code;
  }
  if (size == 7 && bytes[2] == 0x03) {
    return "set " + code + " " + std::to_string((bytes[4] << 8) | bytes[5]);
  }
  return "frame of " + std::to_string(size) + " bytes";
}

class ScriptedDevice final : public I2cDevice {
 public:
  ScriptedDevice(ScriptedBuses& buses, unsigned number) : buses_(&buses), number_(number) {}

  TransferResult write(std::uint8_t, const std::uint8_t* bytes, std::size_t size) override {
    ScriptedBus& bus = buses_->bus(number_);
    int error = bus.everyWriteError;
    if (!bus.writeErrors.empty()) {
      error = bus.writeErrors.front();
      bus.writeErrors.pop_front();
    }
    buses_->log(number_, described(bytes, size) + (error != 0 ? ": " + errorName(error) : ""));
    return TransferResult{error == 0 ? size : 0, error};
  }
  TransferResult read(std::uint8_t, std::uint8_t* bytes, std::size_t size) override {
    ScriptedBus& bus = buses_->bus(number_);
    std::vector<std::uint8_t> reply = powerModeReply(1);
    if (!bus.replies.empty()) {
      reply = bus.replies.front();
      bus.replies.pop_front();
    }
    reply.resize(size, 0xFF);
    std::copy(reply.begin(), reply.end(), bytes);
    buses_->log(number_, reply[1] == 0x80 ? "read: null message" : "read");
    return TransferResult{size, 0};
  }
  TransferResult writeThenRead(std::uint8_t, const std::uint8_t*, std::size_t, std::uint8_t*,
                               std::size_t) override {
    buses_->log(number_, "edid");
    return TransferResult{0, ENXIO};
  }
  bool usesPlainTransfers() const override { return false; }
  void usePlainTransfers() override {}
  int lock(milliseconds timeout, Timing& timing) override {
    const Clock::time_point deadline = timing.now() + timeout;
    const Clock::time_point free = buses_->bus(number_).lockedUntil;
    if (free > deadline) {
      timing.sleepUntil(deadline);
      buses_->log(number_, "lock: timed out");
      return ETIMEDOUT;
    }
    timing.sleepUntil(free);
    buses_->log(number_, "lock");
    return 0;
  }
  void unlock() override { buses_->log(number_, "unlock"); }
  int descriptor() const override { return -1; }

 private:
  ScriptedBuses* buses_;
  unsigned number_;
};

}  // namespace

std::unique_ptr<I2cDevice> ScriptedBuses::open(unsigned bus, int& error) {
  error = 0;
  log(bus, "open");
  return std::make_unique<ScriptedDevice>(*this, bus);
}

std::string ScriptedBuses::adapterIdentity(unsigned bus) const {
  const auto found = buses_.find(bus);
  return found == buses_.end() ? "the adapter" : found->second.identity;
}

std::vector<std::uint8_t> powerModeReply(std::uint16_t present) {
  std::vector<std::uint8_t> reply{0x6E,
                                  0x88,
                                  0x02,
                                  0x00,
                                  0xD6,
                                  0x00,
                                  0x00,
                                  0x05,
                                  static_cast<std::uint8_t>(present >> 8),
                                  static_cast<std::uint8_t>(present & 0xFF)};
  std::uint8_t check = 0x50;
  for (const std::uint8_t byte : reply) {
    check ^= byte;
  }
  reply.push_back(check);
  return reply;
}

std::vector<std::uint8_t> nullReply() {
  return {0x6E, 0x80, 0xBE};
}

}  // namespace kelvane::linux_ddc
