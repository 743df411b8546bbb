// The seam over the real Windows API: user32 enumerates the display monitors
// and dxva2 opens the physical monitors behind them and exchanges VCP values
// over DDC/CI. The display driver does the DDC/CI framing and the waits the
// standard asks for, so nothing here sleeps.
//
// dxva2 is loaded at run time, from the system folder only. It is not one of
// the KnownDLLs, so an import of it would be looked for first in the folder
// the program runs from: a portable tool unpacked into Downloads would load
// any dxva2.dll lying beside it. Without dxva2 there is no physical monitor.
#include <cwchar>
#include <iterator>
#include <memory>
#include <new>
#include <optional>

#include "monitors/platform.h"
#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::platform {
namespace {

// ERROR_GRAPHICS_I2C_ERROR_TRANSMITTING_DATA, which MinGW-w64's winerror.h
// lacks: the driver could not get the message across the I2C bus. It is
// usually transient, and widely used monitor tools send once more.
constexpr DWORD kI2cErrorTransmittingData = 0xC0262582;

// The five dxva2 entry points, typed as the API header declares them.
struct Dxva2 {
  decltype(&::GetNumberOfPhysicalMonitorsFromHMONITOR) getNumberOfPhysicalMonitorsFromHMONITOR;
  decltype(&::GetPhysicalMonitorsFromHMONITOR) getPhysicalMonitorsFromHMONITOR;
  decltype(&::SetVCPFeature) setVCPFeature;
  decltype(&::GetVCPFeatureAndVCPFeatureReply) getVCPFeatureAndVCPFeatureReply;
  decltype(&::DestroyPhysicalMonitor) destroyPhysicalMonitor;
};

HMODULE loadFromSystemFolder() {
  HMODULE module = LoadLibraryExW(L"dxva2.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
    return module;
  }
  // Windows 7 without update KB2533623 does not know the flag. The full path
  // names the same file; the altered search path makes dxva2's own imports
  // come from its folder too, not from the program's.
  constexpr wchar_t kFileName[] = L"\\dxva2.dll";
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + std::size(kFileName) > MAX_PATH) {
    return nullptr;
  }
  std::wmemcpy(path + length, kFileName, std::size(kFileName));
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
bool lookUp(HMODULE module, const char* name, Function* function) {
  // FARPROC stands for any signature; void (*)() is the cast that says so.
  *function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  return *function != nullptr;
}

std::optional<Dxva2> loadDxva2() {
  HMODULE module = loadFromSystemFolder();
  if (module == nullptr) {
    return std::nullopt;
  }
  Dxva2 functions{};
  if (!lookUp(module, "GetNumberOfPhysicalMonitorsFromHMONITOR",
              &functions.getNumberOfPhysicalMonitorsFromHMONITOR) ||
      !lookUp(module, "GetPhysicalMonitorsFromHMONITOR",
              &functions.getPhysicalMonitorsFromHMONITOR) ||
      !lookUp(module, "SetVCPFeature", &functions.setVCPFeature) ||
      !lookUp(module, "GetVCPFeatureAndVCPFeatureReply",
              &functions.getVCPFeatureAndVCPFeatureReply) ||
      !lookUp(module, "DestroyPhysicalMonitor", &functions.destroyPhysicalMonitor)) {
    // Not the dxva2 this program was written for: use none of it.
    FreeLibrary(module);
    return std::nullopt;
  }
  return functions;
}

// Loaded on first use and kept until the process ends: the seam has no
// object to own it, and unloading at exit gains nothing.
const Dxva2* dxva2() {
  static const std::optional<Dxva2> loaded = loadDxva2();
  return loaded ? &*loaded : nullptr;
}

// Runs a DDC/CI exchange, and once more if the first failed in transmission.
template <typename Exchange>
bool withOneRetryOnTransmissionError(Exchange exchange) {
  return exchange() || (GetLastError() == kI2cErrorTransmittingData && exchange());
}

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
  const Dxva2* api = dxva2();
  DWORD number = 0;
  if (api == nullptr ||
      api->getNumberOfPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), &number) == FALSE) {
    return false;
  }
  *count = number;
  return true;
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  const Dxva2* api = dxva2();
  if (api == nullptr) {
    return false;
  }
  // PHYSICAL_MONITOR is byte-packed and holds a WCHAR array, so it is filled
  // in its own type and copied field by field rather than aliased.
  const std::unique_ptr<PHYSICAL_MONITOR[]> filled(new (std::nothrow) PHYSICAL_MONITOR[count]);
  if (!filled) {
    return false;
  }
  if (api->getPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), count, filled.get()) == FALSE) {
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
  const Dxva2* api = dxva2();
  return api != nullptr && withOneRetryOnTransmissionError([&] {
           return api->setVCPFeature(toHandle(monitor), vcpCode, newValue) != FALSE;
         });
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  const Dxva2* api = dxva2();
  MC_VCP_CODE_TYPE type = MC_MOMENTARY;
  DWORD current = 0;
  DWORD maximum = 0;
  if (api == nullptr || !withOneRetryOnTransmissionError([&] {
        return api->getVCPFeatureAndVCPFeatureReply(toHandle(monitor), vcpCode, &type, &current,
                                                    &maximum) != FALSE;
      })) {
    return false;
  }
  *codeType = static_cast<std::uint32_t>(type);
  *currentValue = current;
  *maximumValue = maximum;
  return true;
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  const Dxva2* api = dxva2();
  return api != nullptr && api->destroyPhysicalMonitor(toHandle(monitor)) != FALSE;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

}  // namespace kelvane::platform
