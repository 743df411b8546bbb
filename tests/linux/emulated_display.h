// A DDC/CI display as the program under test sees it through /dev/i2c-N: it
// parses the frames written to it, answers Get VCP Feature with a proper
// reply, takes Set VCP Feature, and can be told to misbehave as real displays
// do. It also polices the host: every message to another address, every
// frame that is not a valid DDC/CI frame, and every wait shorter than the
// standard's 40 ms (request to reply) and 50 ms (exchange to next message) is
// recorded as a violation.
//
// Pure C++: the umockdev glue (emulated_desktop.h) feeds it the calls.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::emulation {

using Clock = std::chrono::steady_clock;

// Ways a reply can go wrong on the wire or in a display's firmware.
enum class ReplyFault {
  kNone,
  kNullMessage,  // "nothing to say yet"
  kBadChecksum,
  kAllZero,    // the bus read back nothing but zeros
  kShort,      // the read ends in the middle of the frame
  kWrongCode,  // a valid reply about another VCP code
  kReadFails,  // read() fails with EIO
};

// For faultyReplies: every reply carries the fault.
inline constexpr int kAlways = -1;

struct DisplayBehaviour {
  std::uint16_t powerMode = 1;
  bool supportsPowerMode = true;
  // Nothing answers at 0x37 (DDC/CI off, or no DDC/CI at all): writes fail
  // with ENXIO, as i2c-dev reports a NAK.
  bool naks = false;
  // A read sooner than this after the request gets a null message, as from a
  // display still preparing its reply.
  std::chrono::milliseconds readyAfter{0};
  ReplyFault fault = ReplyFault::kNone;
  int faultyReplies = 0;  // the first replies that carry the fault, or kAlways
  // Unplugged once opened: everything after the open fails with ENODEV.
  bool vanishesAfterOpen = false;
};

struct ReadResult {
  std::vector<std::uint8_t> bytes;
  int error = 0;  // errno of a failed read
};

class EmulatedDisplay {
 public:
  explicit EmulatedDisplay(DisplayBehaviour behaviour = {});

  // Shares this display's traffic, each entry prefixed with name, with a log
  // that several displays write to, so that a test can check their order.
  void journalTo(std::vector<std::string>* journal, std::string name);

  // The calls of the program under test. Each returns the errno to complete
  // the call with (0 for success).
  void opened();
  int selectAddress(unsigned long address);
  int unexpectedIoctl(unsigned long request);
  int write(const std::uint8_t* bytes, std::size_t size, Clock::time_point now);
  ReadResult read(std::size_t size, Clock::time_point now);

  // "open", "get D6", "set D6 4", in order. Closing cannot be seen: umockdev
  // (0.17) does not report it to the emulation.
  const std::vector<std::string>& traffic() const { return traffic_; }
  const std::vector<std::string>& violations() const { return violations_; }
  std::uint16_t powerMode() const { return behaviour_.powerMode; }
  // When the first Get request of the first open arrived, and when its reply
  // was handed back.
  std::optional<Clock::time_point> firstOpen() const { return firstOpen_; }
  std::optional<Clock::time_point> firstReply() const { return firstReply_; }

 private:
  void record(const std::string& entry);
  void violation(const std::string& what);
  void checkGap(Clock::time_point now);
  // Whether this reply is among those that carry the fault; counts it.
  bool nextReplyIsFaulty();
  std::vector<std::uint8_t> reply(std::size_t size, Clock::time_point now);

  DisplayBehaviour behaviour_;
  std::vector<std::string> traffic_;
  std::vector<std::string> violations_;
  std::vector<std::string>* journal_ = nullptr;
  std::string name_;
  bool addressed_ = false;
  bool vanished_ = false;
  int repliesSent_ = 0;
  std::optional<std::uint8_t> pendingCode_;
  Clock::time_point requestTime_;
  std::optional<Clock::time_point> lastExchangeEnd_;
  std::optional<Clock::time_point> firstOpen_;
  std::optional<Clock::time_point> firstReply_;
};

}  // namespace kelvane::emulation
