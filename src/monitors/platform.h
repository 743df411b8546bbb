// SPDX-License-Identifier: MIT
// The seam between Kelvane and the operating system.
//
// These are the few platform operations the monitor set needs, modelled on the
// Windows monitor configuration API (user32 EnumDisplayMonitors and dxva2).
// Exactly one implementation is linked into each executable, chosen by the
// build: the real API on Windows, our DDC/CI-over-i2c-dev layer on Linux, and
// a recording fake in the tests. Nothing above this header knows which.
//
// Why it is shaped like the Windows API rather than like a monitor object:
// the program's behaviour was first defined as a sequence of these calls
// (which are made, in which order, with what, and what a failure of each
// leaves behind: a monitor that cannot be counted adds nothing, a failed read
// is -1, an empty set is -2). Keeping the calls as they are lets the fake
// replay that behaviour call by call, and makes the Linux backend bound to
// reproduce it exactly, down to the order of commands and closes.
//
// What each operation means on Linux (src/monitors/linux/linux_backend.h):
//   enumDisplayMonitors       discovery, once a run: the external monitors of
//                             /sys/class/drm and the display adapters' buses
//                             that carry one, laptop panels skipped; one
//                             display monitor per monitor found, in a stable
//                             order (card, connector, then unlinked adapters)
//   getNumberOf...HMONITOR    1 when discovery found a bus for it, else 0
//   getPhysicalMonitors...    opens its /dev/i2c-N (the connector's other bus
//                             when the first will not open); the handle
//                             indexes the backend's table of open monitors
//   setVCPFeature             one DDC/CI Set VCP Feature message, under the
//                             bus lock and the protocol's pacing, sent once
//                             more when the display refuses it (a NAK)
//   getVCPFeatureAnd...Reply  one Get VCP Feature request and its reply, the
//                             same way, retried while no valid reply comes;
//                             either one tries the connector's other bus
//                             when the bus has never answered in the run
//   destroyPhysicalMonitor    forgets the handle; the bus stays open and
//                             locked until the run ends, and a child process
//                             keeps the lock for the pause after the last
//                             message (pause_keeper.h), so that it holds for
//                             the next run without the run waiting for it
//   sleepMilliseconds         gives every bus lock back and closes the buses
//                             (they are opened again, and checked to be the
//                             same adapters, at the next step), then rests
//                             until the time is up or an interruption comes
//   lastFailure/whyNoMonitor  the cause of the latest failure, from errno and
//                             the DDC/CI reply, or why discovery found nothing
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane::platform {

// Opaque handles, compared by numeric value. Each backend decides what the
// number means (an HMONITOR, a HANDLE, an index into its own table).
enum class DisplayMonitorHandle : std::uintptr_t {};
enum class PhysicalMonitorHandle : std::uintptr_t {};

// Windows' PHYSICAL_MONITOR: an open handle and a fixed-size description.
inline constexpr std::uint32_t kPhysicalMonitorDescriptionLength = 128;
struct PhysicalMonitorRecord {
  PhysicalMonitorHandle handle;
  char16_t description[kPhysicalMonitorDescriptionLength];
};

// Called once per display monitor, synchronously, before enumDisplayMonitors
// returns. Returning false stops the enumeration.
using DisplayMonitorCallback = bool (*)(DisplayMonitorHandle monitor, void* data);

bool enumDisplayMonitors(DisplayMonitorCallback callback, void* data);
bool getNumberOfPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t* count);
bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records);
bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue);
bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue);
bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor);

// Blocks the calling thread for at least the given time.
void sleepMilliseconds(std::uint32_t milliseconds);

// How long an operation waits for a bus that another program holds before it
// gives that monitor up with kBusBusy: longer than any other run keeps it (a
// Get with all its retries takes under a second), short enough that a stuck
// holder does not hang the run.
inline constexpr std::chrono::milliseconds kBusLockTimeout{2000};

// Why an operation failed, as the platform knows it. Only the command-line
// front end turns it into words for people.
enum class FailureCause {
  kNone,
  // Linux
  kNoI2cDevices,       // no /dev/i2c-* at all: the i2c-dev module is not loaded
  kNoExternalMonitor,  // no connector reports an external monitor; detail: those seen
  kNoBusForMonitor,    // a connector reports a monitor, but no bus carries its DDC/CI
  kAccessDenied,       // the device node cannot be opened: EACCES
  kDeviceMissing,      // the device node does not exist (any more)
  kOpenFailed,         // the device node cannot be opened, for another reason
  kNoAnswer,           // nothing answers at the DDC/CI address: a NAK
  kNoValidReply,       // no valid reply after every retry
  kUnsupported,        // the display has no power-mode control
  kBusBusy,            // another program kept the bus past kBusLockTimeout
  kTransferFailed,     // the I2C transfer failed otherwise
  // Windows; call, code and detail say how
  kCallFailed,         // another call failed (finding, opening, closing; loading dxva2)
  kExchangeFailed,     // a call that exchanges a VCP value with the monitor failed
  kNoPhysicalMonitor,  // the system offers no physical monitor at all
};

struct Failure {
  FailureCause cause = FailureCause::kNone;
  // Which monitor, as the platform names it ("card0-DP-1 (/dev/i2c-5)");
  // empty when the failure concerns no monitor in particular.
  std::string monitor;
  // The platform call that failed, where that says more than the cause.
  std::string call;
  // errno on Linux, GetLastError() on Windows; 0 when there is none.
  std::uint32_t code = 0;
  // The system's own words for the code, or what else the cause names.
  std::string detail;
};

// The reason for the latest operation that failed, as Windows keeps it for
// GetLastError(): valid until the next operation fails.
Failure lastFailure();

// Why the last enumeration yielded no physical monitor, when it yielded none
// without an operation failing; kNone when there is nothing more to say.
Failure whyNoMonitor();

// Receives one line for every step the platform takes, when tracing is on.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void traceLine(std::string_view line) = 0;

 protected:
  TraceSink() = default;
  TraceSink(const TraceSink&) = default;
  TraceSink& operator=(const TraceSink&) = default;
  TraceSink(TraceSink&&) = default;
  TraceSink& operator=(TraceSink&&) = default;
};

// Tracing goes to sink from now on; nullptr turns it off.
void setTraceSink(TraceSink* sink);

}  // namespace kelvane::platform
