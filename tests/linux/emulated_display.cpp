#include "emulated_display.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace kelvane::emulation {
namespace {

using std::chrono::milliseconds;

// DDC/CI v1.1: the host waits 40 ms for a reply and leaves 50 ms between
// the end of one exchange and its next message.
constexpr milliseconds kReplyDelay{40};
constexpr milliseconds kMessageGap{50};

constexpr std::uint8_t kDisplayAddress = 0x37;
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

std::string hex(unsigned value) {
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%02X", value);
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

long long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<milliseconds>(to - from).count();
}

}  // namespace

EmulatedDisplay::EmulatedDisplay(DisplayBehaviour behaviour) : behaviour_(behaviour) {}

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

void EmulatedDisplay::opened() {
  addressed_ = false;
  if (!firstOpen_) {
    firstOpen_ = Clock::now();
  }
  record("open");
  if (behaviour_.vanishesAfterOpen) {
    vanished_ = true;
  }
}

int EmulatedDisplay::selectAddress(unsigned long address) {
  if (address != kDisplayAddress) {
    violation("addressed 0x" + hex(static_cast<unsigned>(address)));
    return ENXIO;
  }
  addressed_ = true;
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

int EmulatedDisplay::write(const std::uint8_t* bytes, std::size_t size, Clock::time_point now) {
  const std::vector<std::uint8_t> frame(bytes, bytes + size);
  if (!addressed_) {
    violation("write before the address was selected");
  }
  if (vanished_) {
    return ENODEV;
  }
  checkGap(now);
  if (pendingCode_) {
    violation("new message while a reply was still due");
    pendingCode_.reset();
  }
  lastExchangeEnd_ = now;
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
    return behaviour_.naks ? ENXIO : 0;
  }
  if (isGet) {
    record("get " + hex(frame[3]));
  } else {
    record("set " + hex(frame[3]) + " " + std::to_string((frame[4] << 8) | frame[5]));
  }
  if (behaviour_.naks) {
    return ENXIO;
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

std::vector<std::uint8_t> EmulatedDisplay::reply(std::size_t size, Clock::time_point now) {
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
  std::vector<std::uint8_t> answer =
      supported ? getVcpReply(0x00, code, 5, behaviour_.powerMode) : getVcpReply(0x01, code, 0, 0);
  if (behaviour_.fault == ReplyFault::kReadFails || !nextReplyIsFaulty()) {
    return answer;
  }
  switch (behaviour_.fault) {
    case ReplyFault::kNone:
    case ReplyFault::kReadFails:  // handled by read()
      return answer;
    case ReplyFault::kNullMessage:
      return nullMessage();
    case ReplyFault::kBadChecksum:
      answer.back() ^= 0x01;
      return answer;
    case ReplyFault::kAllZero:
      return std::vector<std::uint8_t>(size, 0);
    case ReplyFault::kShort:
      answer.resize(answer.size() / 2);
      return answer;
    case ReplyFault::kWrongCode:
      return getVcpReply(0x00, static_cast<std::uint8_t>(code ^ 0x01), 5, behaviour_.powerMode);
  }
  return answer;
}

ReadResult EmulatedDisplay::read(std::size_t size, Clock::time_point now) {
  if (!addressed_) {
    violation("read before the address was selected");
  }
  if (vanished_) {
    return ReadResult{{}, ENODEV};
  }
  ReadResult result;
  if (behaviour_.fault == ReplyFault::kReadFails && nextReplyIsFaulty()) {
    pendingCode_.reset();
    result.error = EIO;
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

}  // namespace kelvane::emulation
