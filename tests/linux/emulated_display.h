// SPDX-License-Identifier: MIT
// What answers on one emulated /dev/i2c-N, as the program under test sees it:
// a DDC/CI display at 0x37 that parses the frames written to it, answers Get
// VCP Feature with a proper reply and takes Set VCP Feature, its EDID EEPROM
// at 0x50, and the driver's quirks. Each part can be told to misbehave as
// real hardware does, or to be absent.
//
// It also polices the host: every message to another address, every write
// to the EEPROM, every frame that is not a valid DDC/CI frame, and every wait
// shorter than the standard's 40 ms (request to reply) and 50 ms (exchange
// to next message), whichever process sent it, is recorded as a violation.
//
// Pure C++: the umockdev glue (emulated_desktop.h) feeds it the calls.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::emulation {

using Clock = std::chrono::steady_clock;

// What the standard asks of the host, as the displays police it: a reply
// read no sooner than 40 ms after its request, the next message no sooner
// than 50 ms after the end of an exchange.
inline constexpr std::chrono::milliseconds kReplyDelay{40};
inline constexpr std::chrono::milliseconds kMessageGap{50};

// Ways a reply can go wrong on the wire or in a display's firmware.
enum class ReplyFault {
  kNone,
  kNullMessage,  // "nothing to say yet"
  kBadChecksum,
  kAllZero,    // the bus read back nothing but zeros
  kShort,      // the read ends in the middle of the frame
  kWrongCode,  // a valid reply about another VCP code
  kReadFails,  // the read fails: EIO, or over DP AUX EPROTO (a reply without data)
};

// For faultyReplies: every reply carries the fault.
inline constexpr int kAlways = -1;

using Bytes = std::vector<std::uint8_t>;

// A valid EDID base block; displays with different serials differ.
Bytes validEdid(std::uint8_t serial);

struct DisplayBehaviour {
  std::uint16_t powerMode = 1;
  bool supportsPowerMode = true;
  // Nothing answers at 0x37 (DDC/CI off, or no display at all): writes fail
  // as i2c-dev reports a NAK (see nakWith()). The journal still shows the
  // frames the host sent, so that a test can count its tries (the kernel's
  // own tier logs a NAK instead, as the display never saw them).
  bool naks = false;
  // Refuses this many DDC/CI messages with a NAK first, as a display still
  // waking may; then it answers.
  int refusedMessages = 0;
  // A read sooner than this after the request gets a null message, as from a
  // display still preparing its reply.
  std::chrono::milliseconds readyAfter{0};
  ReplyFault fault = ReplyFault::kNone;
  int faultyReplies = 0;  // the first replies that carry the fault, or kAlways
  // Unplugged once opened: everything after the open fails with ENODEV.
  bool vanishesAfterOpen = false;

  // What the EEPROM at 0x50 holds; unset: nothing answers there.
  std::optional<Bytes> edid;

  // The driver's ways.
  bool refusesCombinedTransfers = false;  // I2C_RDWR fails with EINVAL (some NVIDIA builds)
  bool addressHeldByDriver = false;       // I2C_SLAVE 0x37 fails with EBUSY (ddcci bound)
  bool failsEveryTransfer = false;        // every message fails with EIO (a dead bus)
};

struct ReadResult {
  Bytes bytes;
  int error = 0;  // errno of a failed read
};

// One message of an I2C_RDWR transfer, as the host asked for it.
struct I2cMessage {
  std::uint16_t address = 0;
  bool read = false;
  Bytes bytes;  // what the host writes; for a read, filled with the answer
};

class EmulatedDisplay {
 public:
  // Tells the processes that have the device open apart.
  using Client = std::uintptr_t;

  explicit EmulatedDisplay(DisplayBehaviour behaviour = {});

  // The errno of a NAK at 0x37 or 0x50: ENXIO on most adapters; the
  // kernel's I2C over DisplayPort AUX reports EREMOTEIO (and an empty reply
  // there as EPROTO).
  void nakWith(int error) { nakError_ = error; }

  // Shares this display's traffic, each entry prefixed with name, with a log
  // that several displays write to, so that a test can check their order.
  void journalTo(std::vector<std::string>* journal, std::string name);

  // The calls of the program under test. Each returns the errno to complete
  // the call with (0 for success).
  void opened(Client client);
  int selectAddress(Client client, unsigned long address);
  int unexpectedIoctl(unsigned long request);
  int write(Client client, const std::uint8_t* bytes, std::size_t size, Clock::time_point now);
  ReadResult read(Client client, std::size_t size, Clock::time_point now);
  // I2C_RDWR: the messages in order, read ones filled in.
  int transfer(std::vector<I2cMessage>& messages, Clock::time_point now);

  // "open", "edid", "get D6", "set D6 4", in order. Closing cannot be seen:
  // umockdev (0.17) does not report it to the emulation.
  const std::vector<std::string>& traffic() const { return traffic_; }
  const std::vector<std::string>& violations() const { return violations_; }
  std::uint16_t powerMode() const { return behaviour_.powerMode; }
  // How often I2C_RDWR was refused.
  int refusedTransfers() const { return refusedTransfers_; }
  // When the first Get request of the first open arrived, and when its reply
  // was handed back; when the first and the last DDC/CI message arrived.
  std::optional<Clock::time_point> firstOpen() const { return firstOpen_; }
  std::optional<Clock::time_point> firstReply() const { return firstReply_; }
  std::optional<Clock::time_point> firstMessage() const { return firstMessage_; }
  std::optional<Clock::time_point> lastMessage() const { return lastMessage_; }

 private:
  void record(const std::string& entry);
  void violation(const std::string& what);
  void checkGap(Clock::time_point now);
  // Whether this reply is among those that carry the fault; counts it.
  bool nextReplyIsFaulty();
  Bytes reply(std::size_t size, Clock::time_point now);
  int displayWrite(const Bytes& frame, Clock::time_point now);
  ReadResult displayRead(std::size_t size, Clock::time_point now);
  int eepromWrite(const Bytes& bytes);
  ReadResult eepromRead(std::size_t size);

  DisplayBehaviour behaviour_;
  std::vector<std::string> traffic_;
  std::vector<std::string> violations_;
  std::vector<std::string>* journal_ = nullptr;
  std::string name_;
  std::map<Client, unsigned long> selected_;  // I2C_SLAVE, per open
  bool vanished_ = false;
  int repliesSent_ = 0;
  int messagesRefused_ = 0;
  int nakError_ = ENXIO;
  int refusedTransfers_ = 0;
  std::size_t eepromOffset_ = 0;
  std::optional<std::uint8_t> pendingCode_;
  Clock::time_point requestTime_;
  std::optional<Clock::time_point> lastExchangeEnd_;
  std::optional<Clock::time_point> firstOpen_;
  std::optional<Clock::time_point> firstReply_;
  std::optional<Clock::time_point> firstMessage_;
  std::optional<Clock::time_point> lastMessage_;
};

}  // namespace kelvane::emulation
