// SPDX-License-Identifier: MIT
#include "emulated_display.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <utility>

#include "monitors/hex_text.h"

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

// DDC/CI v1.1: the host waits 40 ms for a reply and leaves 50 ms between
// the end of one exchange and its next message.

constexpr std::uint8_t kDisplayAddress = 0x37;
constexpr std::uint8_t kEepromAddress = 0x50;
constexpr std::uint8_t kHostSource = 0x51;
constexpr std::uint8_t kDisplaySource = 0x6E;

std::uint8_t xorOf(std::uint8_t seed, const std::vector<std::uint8_t>& bytes) {
  for (const std::uint8_t byte : bytes) {
    seed ^= byte;
  }
  return seed;
}

// A display-to-host frame around a payload.
std::vector<std::uint8_t> displayFrame(const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> frame(payload.size() + 3);
  frame[0] = kDisplaySource;
  frame[1] = static_cast<std::uint8_t>(0x80 | payload.size());
  std::copy(payload.begin(), payload.end(), frame.begin() + 2);
  frame.back() = xorOf(0x50, std::vector<std::uint8_t>(frame.begin(), frame.end() - 1));
  return frame;
}

std::vector<std::uint8_t> getVcpReply(std::uint8_t result, std::uint8_t code, std::uint16_t maximum,
                                      std::uint16_t present) {
  return displayFrame({0x02, result, code, 0x00, static_cast<std::uint8_t>(maximum >> 8),
                       static_cast<std::uint8_t>(maximum), static_cast<std::uint8_t>(present >> 8),
                       static_cast<std::uint8_t>(present)});
}

std::vector<std::uint8_t> nullMessage() {
  return displayFrame({});
}

// "D6": two digits, as the program's trace writes bytes.
std::string hex(unsigned value) {
  return hexNumber(value, 2).substr(2);
}

long long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<milliseconds>(to - from).count();
}

}  // namespace

Bytes validEdid(std::uint8_t serial) {
  Bytes block(128, 0);
  const std::uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(header), std::end(header), block.begin());
  block[8] = 0x10;  // manufacturer "DEL"-like id, product, then the serial
  block[9] = 0xAC;
  block[12] = serial;
  block[18] = 1;  // EDID 1.4
  block[19] = 4;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < block.size(); ++i) {
    sum = static_cast<std::uint8_t>(sum + block[i]);
  }
  block.back() = static_cast<std::uint8_t>(0x100 - sum);
  return block;
}

EmulatedDisplay::EmulatedDisplay(DisplayBehaviour behaviour) : behaviour_(std::move(behaviour)) {}

void EmulatedDisplay::journalTo(std::vector<std::string>* journal, std::string name) {
  journal_ = journal;
  name_ = std::move(name);
}

void EmulatedDisplay::record(const std::string& entry) {
  traffic_.push_back(entry);
  if (journal_ != nullptr) {
    journal_->push_back(name_ + " " + entry);
  }
}

void EmulatedDisplay::violation(const std::string& what) {
  violations_.push_back(name_.empty() ? what : name_ + ": " + what);
}

void EmulatedDisplay::opened(Client client) {
  selected_.erase(client);
  if (!firstOpen_) {
    firstOpen_ = Clock::now();
  }
  record("open");
  if (behaviour_.vanishesAfterOpen) {
    vanished_ = true;
  }
}

int EmulatedDisplay::selectAddress(Client client, unsigned long address) {
  if (address != kDisplayAddress && address != kEepromAddress) {
    violation("addressed 0x" + hex(static_cast<unsigned>(address)));
    return ENXIO;
  }
  if (address == kDisplayAddress && behaviour_.addressHeldByDriver) {
    return EBUSY;
  }
  selected_[client] = address;
  return 0;
}

int EmulatedDisplay::unexpectedIoctl(unsigned long request) {
  violation("unexpected ioctl 0x" + hex(static_cast<unsigned>(request)));
  return ENOTTY;
}

void EmulatedDisplay::checkGap(Clock::time_point now) {
  if (lastExchangeEnd_ && now - *lastExchangeEnd_ < kMessageGap) {
    violation("message " + std::to_string(millisecondsBetween(*lastExchangeEnd_, now)) +
              " ms after the previous exchange");
  }
}

int EmulatedDisplay::write(Client client, const std::uint8_t* bytes, std::size_t size,
                           Clock::time_point now) {
  const auto selected = selected_.find(client);
  if (selected == selected_.end()) {
    violation("write before the address was selected");
    return ENXIO;
  }
  if (vanished_) {
    return ENODEV;
  }
  const Bytes frame(bytes, bytes + size);
  return selected->second == kDisplayAddress ? displayWrite(frame, now) : eepromWrite(frame);
}

ReadResult EmulatedDisplay::read(Client client, std::size_t size, Clock::time_point now) {
  const auto selected = selected_.find(client);
  if (selected == selected_.end()) {
    violation("read before the address was selected");
    return ReadResult{{}, ENXIO};
  }
  if (vanished_) {
    return ReadResult{{}, ENODEV};
  }
  return selected->second == kDisplayAddress ? displayRead(size, now) : eepromRead(size);
}

int EmulatedDisplay::transfer(std::vector<I2cMessage>& messages, Clock::time_point now) {
  if (behaviour_.refusesCombinedTransfers) {
    ++refusedTransfers_;
    return EINVAL;
  }
  if (vanished_) {
    return ENODEV;
  }
  for (I2cMessage& message : messages) {
    int error = 0;
    if (message.address == kDisplayAddress) {
      // DDC/CI messages stand alone: a reply is read 40 ms after its request.
      if (messages.size() > 1) {
        violation("DDC/CI message combined with another in one transfer");
      }
      if (message.read) {
        ReadResult got = displayRead(message.bytes.size(), now);
        error = got.error;
        message.bytes = std::move(got.bytes);
      } else {
        error = displayWrite(message.bytes, now);
      }
    } else if (message.address == kEepromAddress) {
      if (message.read) {
        ReadResult got = eepromRead(message.bytes.size());
        error = got.error;
        message.bytes = std::move(got.bytes);
      } else {
        error = eepromWrite(message.bytes);
      }
    } else {
      violation("addressed 0x" + hex(message.address));
      error = ENXIO;
    }
    if (error != 0) {
      return error;
    }
  }
  return 0;
}

int EmulatedDisplay::displayWrite(const Bytes& frame, Clock::time_point now) {
  const std::size_t size = frame.size();
  checkGap(now);
  if (pendingCode_) {
    violation("new message while a reply was still due");
    pendingCode_.reset();
  }
  lastExchangeEnd_ = now;
  if (!firstMessage_) {
    firstMessage_ = now;
  }
  lastMessage_ = now;
  const bool framed = size >= 3 && frame[0] == kHostSource && frame[1] == (0x80 | (size - 3)) &&
                      xorOf(kDisplayAddress << 1, frame) == 0;
  const bool isGet = framed && size == 5 && frame[2] == 0x01;
  const bool isSet = framed && size == 7 && frame[2] == 0x03;
  if (!isGet && !isSet) {
    std::string text;
    for (const std::uint8_t byte : frame) {
      text += " " + hex(byte);
    }
    violation("not a Get or Set VCP frame:" + text);
    return behaviour_.naks ? nakError_ : 0;
  }
  if (isGet) {
    record("get " + hex(frame[3]));
  } else {
    record("set " + hex(frame[3]) + " " + std::to_string((frame[4] << 8) | frame[5]));
  }
  if (behaviour_.failsEveryTransfer) {
    return EIO;
  }
  if (behaviour_.naks) {
    return nakError_;
  }
  if (messagesRefused_ < behaviour_.refusedMessages) {
    ++messagesRefused_;
    return nakError_;
  }
  if (isGet) {
    pendingCode_ = frame[3];
    requestTime_ = now;
  } else if (frame[3] == 0xD6 && behaviour_.supportsPowerMode) {
    behaviour_.powerMode = static_cast<std::uint16_t>((frame[4] << 8) | frame[5]);
  }
  return 0;
}

bool EmulatedDisplay::nextReplyIsFaulty() {
  const bool faulty =
      behaviour_.faultyReplies == kAlways || repliesSent_ < behaviour_.faultyReplies;
  ++repliesSent_;
  return faulty;
}

Bytes EmulatedDisplay::reply(std::size_t size, Clock::time_point now) {
  if (!pendingCode_) {
    violation("read without a request");
    return nullMessage();
  }
  const std::uint8_t code = *pendingCode_;
  pendingCode_.reset();
  if (now - requestTime_ < kReplyDelay) {
    violation("reply read " + std::to_string(millisecondsBetween(requestTime_, now)) +
              " ms after the request");
  }
  if (now - requestTime_ < behaviour_.readyAfter) {
    return nullMessage();
  }
  const bool supported = code == 0xD6 && behaviour_.supportsPowerMode;
  Bytes answer =
      supported ? getVcpReply(0x00, code, 5, behaviour_.powerMode) : getVcpReply(0x01, code, 0, 0);
  if (behaviour_.fault == ReplyFault::kReadFails || !nextReplyIsFaulty()) {
    return answer;
  }
  switch (behaviour_.fault) {
    case ReplyFault::kNone:
    case ReplyFault::kReadFails:  // handled by displayRead()
      return answer;
    case ReplyFault::kNullMessage:
      return nullMessage();
    case ReplyFault::kBadChecksum:
      answer.back() ^= 0x01;
      return answer;
    case ReplyFault::kAllZero:
      return Bytes(size, 0);
    case ReplyFault::kShort:
      answer.resize(answer.size() / 2);
      return answer;
    case ReplyFault::kWrongCode:
      return getVcpReply(0x00, static_cast<std::uint8_t>(code ^ 0x01), 5, behaviour_.powerMode);
  }
  return answer;
}

ReadResult EmulatedDisplay::displayRead(std::size_t size, Clock::time_point now) {
  ReadResult result;
  if (behaviour_.failsEveryTransfer ||
      (behaviour_.fault == ReplyFault::kReadFails && nextReplyIsFaulty())) {
    pendingCode_.reset();
    // Over AUX, a reply acknowledged without data reaches the host as EPROTO.
    result.error = behaviour_.failsEveryTransfer || nakError_ != EREMOTEIO ? EIO : EPROTO;
  } else {
    result.bytes = reply(size, now);
    // A bus read returns as many bytes as asked; what follows a shorter
    // frame is whatever the line held, here 0xFF (pulled up).
    if (behaviour_.fault != ReplyFault::kShort) {
      result.bytes.resize(size, 0xFF);
    }
    result.bytes.resize(std::min(result.bytes.size(), size));
  }
  lastExchangeEnd_ = now;
  if (!firstReply_) {
    firstReply_ = now;
  }
  return result;
}

int EmulatedDisplay::eepromWrite(const Bytes& bytes) {
  // The host sets the EEPROM's address pointer and reads; a longer write
  // would overwrite what the display says it is.
  if (bytes.size() != 1 || bytes[0] != 0) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
      text += " " + hex(byte);
    }
    violation("wrote to the EDID EEPROM:" + text);
  }
  record("edid");
  if (pendingCode_) {
    violation("EDID read while a DDC/CI reply was due");
  }
  if (behaviour_.failsEveryTransfer) {
    return EIO;
  }
  if (!behaviour_.edid) {
    return nakError_;
  }
  eepromOffset_ = bytes.empty() ? eepromOffset_ : bytes[0];
  return 0;
}

ReadResult EmulatedDisplay::eepromRead(std::size_t size) {
  if (behaviour_.failsEveryTransfer) {
    return ReadResult{{}, EIO};
  }
  if (!behaviour_.edid) {
    return ReadResult{{}, nakError_};
  }
  ReadResult result;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t at = eepromOffset_ + i;
    result.bytes.push_back(at < behaviour_.edid->size() ? (*behaviour_.edid)[at] : 0xFF);
  }
  eepromOffset_ += size;
  return result;
}

}  // namespace kelvane::emulation
