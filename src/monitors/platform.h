// The seam between Kelvane and the operating system.
//
// These are the few platform operations the monitor set needs, modelled on the
// Windows monitor configuration API (user32 EnumDisplayMonitors and dxva2).
// Exactly one implementation is linked into each executable, chosen by the
// build: the real API on Windows, our DDC/CI-over-i2c-dev layer on Linux, and
// a recording fake in the tests. Nothing above this header knows which.
#pragma once

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
  kBusBusy,            // another program kept the bus past the lock's timeout
  kTransferFailed,     // the I2C transfer failed otherwise
  // Windows
  kCallFailed,         // a monitor configuration call failed; call, code and detail say how
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
