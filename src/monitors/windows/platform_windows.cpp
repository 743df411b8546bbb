// The seam over the real Windows API: user32 enumerates the display monitors
// and dxva2 opens the physical monitors behind them and exchanges VCP values
// over DDC/CI. The display driver does the DDC/CI framing and the waits the
// standard asks for, so nothing here sleeps or retries.
#include <memory>
#include <new>

#include "monitors/platform.h"
#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::platform {
namespace {

HANDLE toHandle(PhysicalMonitorHandle monitor) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(monitor));
}

HMONITOR toHmonitor(DisplayMonitorHandle monitor) {
  return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(monitor));
}

// What EnumDisplayMonitors passes through its LPARAM to the trampoline below,
// so the enumeration needs no state outside the call.
struct Enumeration {
  DisplayMonitorCallback callback;
  void* data;
};

BOOL CALLBACK visitDisplayMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM parameter) {
  const Enumeration& enumeration = *reinterpret_cast<const Enumeration*>(parameter);
  const auto handle = static_cast<DisplayMonitorHandle>(reinterpret_cast<std::uintptr_t>(monitor));
  return enumeration.callback(handle, enumeration.data) ? TRUE : FALSE;
}

}  // namespace

bool enumDisplayMonitors(DisplayMonitorCallback callback, void* data) {
  Enumeration enumeration{callback, data};
  return EnumDisplayMonitors(nullptr, nullptr, &visitDisplayMonitor,
                             reinterpret_cast<LPARAM>(&enumeration)) != FALSE;
}

bool getNumberOfPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t* count) {
  DWORD number = 0;
  if (GetNumberOfPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), &number) == FALSE) {
    return false;
  }
  *count = number;
  return true;
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  // PHYSICAL_MONITOR is byte-packed and holds a WCHAR array, so it is filled
  // in its own type and copied field by field rather than aliased.
  const std::unique_ptr<PHYSICAL_MONITOR[]> filled(new (std::nothrow) PHYSICAL_MONITOR[count]);
  if (!filled) {
    return false;
  }
  if (GetPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), count, filled.get()) == FALSE) {
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    records[i].handle = static_cast<PhysicalMonitorHandle>(
        reinterpret_cast<std::uintptr_t>(filled[i].hPhysicalMonitor));
    for (std::uint32_t c = 0; c < kPhysicalMonitorDescriptionLength; ++c) {
      records[i].description[c] = static_cast<char16_t>(filled[i].szPhysicalMonitorDescription[c]);
    }
  }
  return true;
}

bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue) {
  return SetVCPFeature(toHandle(monitor), vcpCode, newValue) != FALSE;
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  MC_VCP_CODE_TYPE type = MC_MOMENTARY;
  DWORD current = 0;
  DWORD maximum = 0;
  if (GetVCPFeatureAndVCPFeatureReply(toHandle(monitor), vcpCode, &type, &current, &maximum) ==
      FALSE) {
    return false;
  }
  *codeType = static_cast<std::uint32_t>(type);
  *currentValue = current;
  *maximumValue = maximum;
  return true;
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  return DestroyPhysicalMonitor(toHandle(monitor)) != FALSE;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

}  // namespace kelvane::platform
