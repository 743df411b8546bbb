// The platform operations on Linux: DRM connectors from sysfs are the display
// monitors, and the display behind a connector's DDC bus, reached through
// i2c-dev, is its one physical monitor.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <thread>
#include <utility>

#include "monitors/linux/ddc_ci_frame.h"
#include "monitors/linux/drm_connectors.h"
#include "monitors/linux/i2c_device.h"
#include "monitors/platform.h"

namespace kelvane::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// DDC/CI v1.1: the display needs 40 ms to prepare a reply, and
// 50 ms after one exchange before it takes the next message; a command sent
// sooner may be dropped without a word.
constexpr milliseconds kReplyDelay{40};
constexpr milliseconds kMessageGap{50};

// Waits before reading each attempt's reply. A null message or a garbled
// reply means "not ready": some displays need 100 to 200 ms, so each retry
// waits longer. Five attempts end, with the gaps between them, within about
// 0.8 s even when the display never answers.
constexpr milliseconds kReplyWaits[] = {kReplyDelay, milliseconds{80}, milliseconds{120},
                                        milliseconds{160}, milliseconds{200}};
static_assert(kReplyWaits[0] >= kReplyDelay, "the first read must respect the reply delay");

struct OpenMonitor {
  linux_ddc::DdcChannel channel;
  unsigned bus;
};

// The only state kept across calls, forced by the seam: its free functions
// take bare handle values, so the open devices they stand for must live
// somewhere the functions can find them; and the pause owed to a bus outlives
// the handle (a query's monitor is closed before the command of the same run
// reopens it), so it is kept per bus for the whole process.
struct Backend {
  std::map<std::uintptr_t, OpenMonitor> open;
  // Counts up so that handles follow the order in which connectors are filled.
  std::uintptr_t nextHandle = 1;
  std::map<unsigned, Clock::time_point> lastExchangeEnd;
};

Backend& backend() {
  static Backend instance;
  return instance;
}

// A display-monitor handle names its connector's DDC bus as bus + 1, and 0
// when the connector has none; only enumDisplayMonitors makes them.
DisplayMonitorHandle displayHandleFor(const linux_ddc::DrmConnector& connector) {
  return DisplayMonitorHandle{connector.ddcBus ? std::uintptr_t{*connector.ddcBus} + 1 : 0};
}

std::optional<unsigned> busOf(DisplayMonitorHandle monitor) {
  const auto value = static_cast<std::uintptr_t>(monitor);
  if (value == 0) {
    return std::nullopt;
  }
  return static_cast<unsigned>(value - 1);
}

OpenMonitor* find(PhysicalMonitorHandle monitor) {
  const auto found = backend().open.find(static_cast<std::uintptr_t>(monitor));
  return found == backend().open.end() ? nullptr : &found->second;
}

// Called just before a message goes out: sleeps only what is left of the gap.
void waitForBus(unsigned bus) {
  const auto last = backend().lastExchangeEnd.find(bus);
  if (last != backend().lastExchangeEnd.end()) {
    std::this_thread::sleep_until(last->second + kMessageGap);
  }
}

void markExchangeEnd(unsigned bus) {
  backend().lastExchangeEnd[bus] = Clock::now();
}

enum class Attempt { kAnswered, kFailed, kRetry };

Attempt tryGetVcp(const OpenMonitor& monitor, std::uint8_t vcpCode, milliseconds replyWait,
                  ddcci::GetVcpReply& reply) {
  waitForBus(monitor.bus);
  const ddcci::GetVcpRequest request = ddcci::encodeGetVcpRequest(vcpCode);
  if (!monitor.channel.write(request.data(), request.size()).ok()) {
    // A NAK: nothing answers at the address (DDC/CI off, asleep, or none).
    markExchangeEnd(monitor.bus);
    return Attempt::kFailed;
  }
  std::this_thread::sleep_for(replyWait);
  std::uint8_t buffer[ddcci::kGetVcpReplySize] = {};
  const linux_ddc::TransferResult got = monitor.channel.read(buffer, sizeof buffer);
  markExchangeEnd(monitor.bus);
  if (!got.ok()) {
    return Attempt::kRetry;  // a display still busy may refuse the read
  }
  reply = ddcci::decodeGetVcpReply(buffer, got.bytes, vcpCode);
  switch (reply.status) {
    case ddcci::ReplyStatus::kValid:
      return Attempt::kAnswered;
    case ddcci::ReplyStatus::kUnsupportedCode:
      return Attempt::kFailed;  // a definite answer: asking again changes nothing
    default:
      return Attempt::kRetry;
  }
}

}  // namespace

bool enumDisplayMonitors(DisplayMonitorCallback callback, void* data) {
  for (const linux_ddc::DrmConnector& connector :
       linux_ddc::findConnectedConnectors(linux_ddc::kDrmClassDirectory)) {
    if (!callback(displayHandleFor(connector), data)) {
      break;
    }
  }
  return true;
}

bool getNumberOfPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t* count) {
  *count = busOf(monitor) ? 1 : 0;
  return true;
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  const std::optional<unsigned> bus = busOf(monitor);
  if (count != (bus ? 1u : 0u)) {
    return false;
  }
  if (!bus) {
    return true;
  }
  std::optional<linux_ddc::DdcChannel> channel = linux_ddc::DdcChannel::open(*bus);
  if (!channel) {
    return false;
  }
  Backend& state = backend();
  const std::uintptr_t handle = state.nextHandle++;
  state.open.emplace(handle, OpenMonitor{std::move(*channel), *bus});
  records[0] = PhysicalMonitorRecord{PhysicalMonitorHandle{handle}, {}};
  return true;
}

bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue) {
  const OpenMonitor* open = find(monitor);
  // A VCP value is 16 bits on the wire; a larger one cannot be sent intact.
  if (open == nullptr || newValue > 0xFFFF) {
    return false;
  }
  waitForBus(open->bus);
  const ddcci::SetVcpRequest request =
      ddcci::encodeSetVcpRequest(vcpCode, static_cast<std::uint16_t>(newValue));
  const bool sent = open->channel.write(request.data(), request.size()).ok();
  markExchangeEnd(open->bus);
  return sent;
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  const OpenMonitor* open = find(monitor);
  if (open == nullptr) {
    return false;
  }
  for (const milliseconds replyWait : kReplyWaits) {
    ddcci::GetVcpReply reply;
    switch (tryGetVcp(*open, vcpCode, replyWait, reply)) {
      case Attempt::kAnswered:
        *codeType = reply.type;
        *currentValue = reply.present;
        *maximumValue = reply.maximum;
        return true;
      case Attempt::kFailed:
        return false;
      case Attempt::kRetry:
        break;
    }
  }
  return false;
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  return backend().open.erase(static_cast<std::uintptr_t>(monitor)) == 1;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace kelvane::platform
