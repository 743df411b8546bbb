// SPDX-License-Identifier: MIT
// The seam over the real Windows API: user32 enumerates the display monitors
// and dxva2 opens the physical monitors behind them and exchanges VCP values
// over DDC/CI. The display driver does the DDC/CI framing and the waits the
// standard asks for, so nothing here sleeps.
#include <memory>
#include <new>
#include <string>

#include "monitors/hex_text.h"
#include "monitors/interruption.h"
#include "monitors/platform.h"
#include "monitors/windows/dxva2_loader.h"
#include "monitors/windows/monitor_configuration_api.h"
#include "monitors/windows/monitor_names.h"
#include "monitors/windows/system_errors.h"
#include "monitors/windows/windows_trace.h"

namespace kelvane::platform {
namespace {

using windows_api::displayName;
using windows_api::dxva2;
using windows_api::physicalMonitorName;
using windows_api::trace;
using windows_api::traced;

// The calls as the failure lines and the trace name them, and what a failure
// of each means: only the exchanges depend on the monitor's own DDC/CI.
struct Call {
  const char* name;
  FailureCause cause;
};
constexpr Call kLoad{"LoadLibraryExW(dxva2.dll)", FailureCause::kCallFailed};
constexpr Call kCount{"GetNumberOfPhysicalMonitorsFromHMONITOR", FailureCause::kCallFailed};
constexpr Call kFill{"GetPhysicalMonitorsFromHMONITOR", FailureCause::kCallFailed};
constexpr Call kSet{"SetVCPFeature", FailureCause::kExchangeFailed};
constexpr Call kGet{"GetVCPFeatureAndVCPFeatureReply", FailureCause::kExchangeFailed};
constexpr Call kDestroy{"DestroyPhysicalMonitor", FailureCause::kCallFailed};

// The latest failure, process-wide like GetLastError(), which it extends.
Failure& last() {
  static Failure instance;
  return instance;
}

Failure failure(const Call& call, std::string monitor, DWORD code) {
  return Failure{call.cause, std::move(monitor), call.name, static_cast<std::uint32_t>(code),
                 windows_api::systemMessage(code)};
}

// Keeps the failure of a call that just failed, while GetLastError() still
// holds its code.
bool failed(const Call& call, std::string monitor) {
  last() = failure(call, std::move(monitor), GetLastError());
  return false;
}

// Without dxva2 no call can be made: say why it could not be loaded.
bool withoutDxva2(std::string monitor) {
  last() = failure(kLoad, std::move(monitor), windows_api::dxva2LoadError());
  return false;
}

// "SetVCPFeature(0x10, 0xD6, 4)"
template <typename... Arguments>
std::string calling(const Call& call, const Arguments&... arguments) {
  std::string text = std::string(call.name) + "(";
  const char* separator = "";
  ((text += separator + arguments, separator = ", "), ...);
  return text + ")";
}

// Runs a DDC/CI exchange, and once more if the first failed in transmission.
template <typename Exchange>
bool withOneRetryOnTransmissionError(Exchange exchange) {
  return exchange() || (GetLastError() == windows_api::kI2cErrorTransmittingData && exchange());
}

HANDLE toHandle(PhysicalMonitorHandle monitor) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(monitor));
}

HMONITOR toHmonitor(DisplayMonitorHandle monitor) {
  return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(monitor));
}

std::string hexHandle(PhysicalMonitorHandle monitor) {
  return hexNumber(static_cast<std::uintptr_t>(monitor));
}

std::string displayMonitorName(DisplayMonitorHandle monitor) {
  return "display monitor " + displayName(toHmonitor(monitor));
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
  if (windows_api::tracing()) {
    trace("display monitor " + hexNumber(static_cast<std::uintptr_t>(handle)) + ": " +
          displayName(monitor));
  }
  return enumeration.callback(handle, enumeration.data) ? TRUE : FALSE;
}

}  // namespace

bool enumDisplayMonitors(DisplayMonitorCallback callback, void* data) {
  Enumeration enumeration{callback, data};
  return traced("EnumDisplayMonitors", [&] {
    return EnumDisplayMonitors(nullptr, nullptr, &visitDisplayMonitor,
                               reinterpret_cast<LPARAM>(&enumeration)) != FALSE;
  });
}

bool getNumberOfPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t* count) {
  const windows_api::Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(displayMonitorName(monitor));
  }
  DWORD number = 0;
  if (!traced(calling(kCount, hexNumber(static_cast<std::uintptr_t>(monitor))), [&] {
        return api->getNumberOfPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), &number) != FALSE;
      })) {
    return failed(kCount, displayMonitorName(monitor));
  }
  trace("  " + std::to_string(number) + " physical monitors");
  *count = number;
  return true;
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  const windows_api::Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(displayMonitorName(monitor));
  }
  // PHYSICAL_MONITOR is byte-packed and holds a WCHAR array, so it is filled
  // in its own type and copied field by field rather than aliased.
  const std::unique_ptr<PHYSICAL_MONITOR[]> filled(new (std::nothrow) PHYSICAL_MONITOR[count]);
  if (!filled) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failed(kFill, displayMonitorName(monitor));
  }
  if (!traced(
          calling(kFill, hexNumber(static_cast<std::uintptr_t>(monitor)), std::to_string(count)),
          [&] {
            return api->getPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), count, filled.get()) !=
                   FALSE;
          })) {
    return failed(kFill, displayMonitorName(monitor));
  }
  const std::string display = displayName(toHmonitor(monitor));
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto handle = reinterpret_cast<std::uintptr_t>(filled[i].hPhysicalMonitor);
    records[i].handle = static_cast<PhysicalMonitorHandle>(handle);
    for (std::uint32_t c = 0; c < kPhysicalMonitorDescriptionLength; ++c) {
      records[i].description[c] = static_cast<char16_t>(filled[i].szPhysicalMonitorDescription[c]);
    }
    const std::string& name = windows_api::nameFilled(filled[i], i, count, display);
    trace("  " + hexNumber(handle) + ": " + name);
  }
  return true;
}

bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue) {
  const windows_api::Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(physicalMonitorName(toHandle(monitor)));
  }
  const std::string what =
      calling(kSet, hexHandle(monitor), hexNumber(vcpCode), std::to_string(newValue));
  if (!withOneRetryOnTransmissionError([&] {
        return traced(what, [&] {
          return api->setVCPFeature(toHandle(monitor), vcpCode, newValue) != FALSE;
        });
      })) {
    return failed(kSet, physicalMonitorName(toHandle(monitor)));
  }
  return true;
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  const windows_api::Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(physicalMonitorName(toHandle(monitor)));
  }
  MC_VCP_CODE_TYPE type = MC_MOMENTARY;
  DWORD current = 0;
  DWORD maximum = 0;
  const std::string what = calling(kGet, hexHandle(monitor), hexNumber(vcpCode));
  if (!withOneRetryOnTransmissionError([&] {
        return traced(what, [&] {
          return api->getVCPFeatureAndVCPFeatureReply(toHandle(monitor), vcpCode, &type, &current,
                                                      &maximum) != FALSE;
        });
      })) {
    return failed(kGet, physicalMonitorName(toHandle(monitor)));
  }
  trace("  current " + std::to_string(current) + ", maximum " + std::to_string(maximum));
  *codeType = static_cast<std::uint32_t>(type);
  *currentValue = current;
  *maximumValue = maximum;
  return true;
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  const windows_api::Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(physicalMonitorName(toHandle(monitor)));
  }
  const std::string name = physicalMonitorName(toHandle(monitor));
  windows_api::forgetPhysicalMonitor(toHandle(monitor));
  if (!traced(calling(kDestroy, hexHandle(monitor)),
              [&] { return api->destroyPhysicalMonitor(toHandle(monitor)) != FALSE; })) {
    return failed(kDestroy, name);
  }
  return true;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  trace("Sleep(" + std::to_string(milliseconds) + ")");
  interruption::rest(std::chrono::milliseconds(milliseconds));
}

Failure lastFailure() {
  return last();
}

Failure whyNoMonitor() {
  // Enumeration had nothing to fail on: no display monitor, or none with a
  // physical monitor behind it.
  return Failure{FailureCause::kNoPhysicalMonitor, "", "", 0, ""};
}

void setTraceSink(TraceSink* sink) {
  windows_api::setTraceSink(sink);
}

}  // namespace kelvane::platform
