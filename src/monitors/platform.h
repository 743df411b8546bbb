// The seam between Kelvane and the operating system.
//
// These are the few platform operations the monitor set needs, modelled on the
// Windows monitor configuration API (user32 EnumDisplayMonitors and dxva2).
// Exactly one implementation is linked into each executable, chosen by the
// build: the real API on Windows, our DDC/CI-over-i2c-dev layer on Linux, and
// a recording fake in the tests. Nothing above this header knows which.
#pragma once

#include <cstdint>

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

}  // namespace kelvane::platform
