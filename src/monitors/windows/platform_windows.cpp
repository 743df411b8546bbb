// The seam over the real Windows API: user32 enumerates the display monitors
// and dxva2 opens the physical monitors behind them and exchanges VCP values
// over DDC/CI. The display driver does the DDC/CI framing and the waits the
// standard asks for, so nothing here sleeps.
//
// dxva2 is loaded at run time, from the system folder only. It is not one of
// the KnownDLLs, so an import of it would be looked for first in the folder
// the program runs from: a portable tool unpacked into Downloads would load
// any dxva2.dll lying beside it. Without dxva2 there is no physical monitor.
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "monitors/platform.h"
#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::platform {
namespace {

// ERROR_GRAPHICS_I2C_ERROR_TRANSMITTING_DATA, which MinGW-w64's winerror.h
// lacks: the driver could not get the message across the I2C bus. It is
// usually transient, and widely used monitor tools send once more.
constexpr DWORD kI2cErrorTransmittingData = 0xC0262582;

using Clock = std::chrono::steady_clock;

// What the seam reports of the calls: the latest failure, and the trace.
// Process-wide like GetLastError(), which it extends: the seam's free
// functions have no object to keep them in.
struct Reports {
  Failure last;
  TraceSink* trace = nullptr;
  // Each open physical monitor's description and where it is, for the
  // failure lines: the records carry it only at the fill.
  std::map<std::uintptr_t, std::string> names;
  DWORD loadError = 0;
};

Reports& reports() {
  static Reports instance;
  return instance;
}

std::string hex(std::uintptr_t value) {
  char text[24];
  const int length =
      std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string utf8(const wchar_t* text, int length) {
  if (length <= 0) {
    return {};
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return {};
  }
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, converted.data(), size, nullptr, nullptr);
  return converted;
}

// The monitor configuration errors that Windows monitor tools meet most,
// for a system that has no words of its own for them (Wine has none).
const char* knownMonitorError(DWORD code) {
  switch (code) {
    case 0xC0262582:
      return "an error in sending data over the I2C bus";
    case 0xC0262583:
      return "an error in receiving data over the I2C bus";
    case 0xC0262584:
      return "the monitor does not support this VCP code";
    case 0xC026258B:
      return "a reply with a bad checksum";
    case 0xC026258D:
      return "the monitor no longer exists";
    case 0xC02625E6:
      return "the array is too small";
    default:
      return "";
  }
}

// The system's words for an error code, without the line end it adds.
std::string systemMessage(DWORD code) {
  wchar_t buffer[512];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::string text = utf8(buffer, static_cast<int>(length));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? knownMonitorError(code) : text;
}

// "\\.\DISPLAY1 at 0,0 (1920x1080)": which display monitor, and where on the desktop.
std::string displayName(HMONITOR monitor) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info) == FALSE) {
    return hex(reinterpret_cast<std::uintptr_t>(monitor));
  }
  const RECT& area = info.rcMonitor;
  return utf8(info.szDevice, static_cast<int>(std::wcslen(info.szDevice))) + " at " +
         std::to_string(area.left) + "," + std::to_string(area.top) + " (" +
         std::to_string(area.right - area.left) + "x" + std::to_string(area.bottom - area.top) +
         ")";
}

void trace(const std::string& line) {
  if (reports().trace != nullptr) {
    reports().trace->traceLine(line);
  }
}

long long millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Keeps the failure of a call that just failed, while GetLastError() still
// holds its code.
bool failed(const char* call, std::string monitor) {
  const DWORD code = GetLastError();
  reports().last = Failure{FailureCause::kCallFailed, std::move(monitor), call,
                           static_cast<std::uint32_t>(code), systemMessage(code)};
  return false;
}

// Runs one dxva2 call, tracing it with its outcome and how long it took.
template <typename Call>
bool traced(const std::string& what, Call call) {
  const Clock::time_point start = Clock::now();
  const bool succeeded = call();
  const DWORD code = GetLastError();
  if (reports().trace != nullptr) {
    trace(what + " -> " + (succeeded ? std::string("TRUE") : "FALSE, error " + hex(code)) + ", " +
          std::to_string(millisecondsSince(start)) + " ms");
  }
  SetLastError(code);
  return succeeded;
}

std::string physicalMonitorName(HANDLE monitor) {
  const auto found = reports().names.find(reinterpret_cast<std::uintptr_t>(monitor));
  return found != reports().names.end()
             ? found->second
             : "physical monitor " + hex(reinterpret_cast<std::uintptr_t>(monitor));
}

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
    reports().loadError = GetLastError();
    trace("LoadLibraryExW(dxva2.dll, system folder) -> NULL, error " + hex(reports().loadError));
    return std::nullopt;
  }
  trace("LoadLibraryExW(dxva2.dll, system folder) -> loaded");
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
    reports().loadError = ERROR_PROC_NOT_FOUND;
    trace("GetProcAddress: dxva2.dll lacks a monitor configuration function");
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

// Without dxva2 no call can be made: say why it could not be loaded.
bool withoutDxva2(std::string monitor) {
  const DWORD code = reports().loadError;
  reports().last =
      Failure{FailureCause::kCallFailed, std::move(monitor), "LoadLibraryExW(dxva2.dll)",
              static_cast<std::uint32_t>(code), systemMessage(code)};
  return false;
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
  if (reports().trace != nullptr) {
    trace("display monitor " + hex(reinterpret_cast<std::uintptr_t>(monitor)) + ": " +
          displayName(monitor));
  }
  const auto handle = static_cast<DisplayMonitorHandle>(reinterpret_cast<std::uintptr_t>(monitor));
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
  const Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2("display monitor " + displayName(toHmonitor(monitor)));
  }
  DWORD number = 0;
  if (!traced("GetNumberOfPhysicalMonitorsFromHMONITOR(" +
                  hex(static_cast<std::uintptr_t>(monitor)) + ")",
              [&] {
                return api->getNumberOfPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), &number) !=
                       FALSE;
              })) {
    return failed("GetNumberOfPhysicalMonitorsFromHMONITOR",
                  "display monitor " + displayName(toHmonitor(monitor)));
  }
  trace("  " + std::to_string(number) + " physical monitors");
  *count = number;
  return true;
}

bool getPhysicalMonitorsFromHMONITOR(DisplayMonitorHandle monitor, std::uint32_t count,
                                     PhysicalMonitorRecord* records) {
  const Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2("display monitor " + displayName(toHmonitor(monitor)));
  }
  // PHYSICAL_MONITOR is byte-packed and holds a WCHAR array, so it is filled
  // in its own type and copied field by field rather than aliased.
  const std::unique_ptr<PHYSICAL_MONITOR[]> filled(new (std::nothrow) PHYSICAL_MONITOR[count]);
  if (!filled) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failed("GetPhysicalMonitorsFromHMONITOR",
                  "display monitor " + displayName(toHmonitor(monitor)));
  }
  if (!traced("GetPhysicalMonitorsFromHMONITOR(" + hex(static_cast<std::uintptr_t>(monitor)) +
                  ", " + std::to_string(count) + ")",
              [&] {
                return api->getPhysicalMonitorsFromHMONITOR(toHmonitor(monitor), count,
                                                            filled.get()) != FALSE;
              })) {
    return failed("GetPhysicalMonitorsFromHMONITOR",
                  "display monitor " + displayName(toHmonitor(monitor)));
  }
  const std::string display = displayName(toHmonitor(monitor));
  for (std::uint32_t i = 0; i < count; ++i) {
    records[i].handle = static_cast<PhysicalMonitorHandle>(
        reinterpret_cast<std::uintptr_t>(filled[i].hPhysicalMonitor));
    for (std::uint32_t c = 0; c < kPhysicalMonitorDescriptionLength; ++c) {
      records[i].description[c] = static_cast<char16_t>(filled[i].szPhysicalMonitorDescription[c]);
    }
    const wchar_t* description = filled[i].szPhysicalMonitorDescription;
    const std::string name =
        "\"" +
        utf8(description,
             static_cast<int>(wcsnlen(description, kPhysicalMonitorDescriptionLength))) +
        "\", physical monitor " + std::to_string(i + 1) + " of " + std::to_string(count) + " on " +
        display;
    reports().names[reinterpret_cast<std::uintptr_t>(filled[i].hPhysicalMonitor)] = name;
    trace("  " + hex(reinterpret_cast<std::uintptr_t>(filled[i].hPhysicalMonitor)) + ": " + name);
  }
  return true;
}

bool setVCPFeature(PhysicalMonitorHandle monitor, std::uint8_t vcpCode, std::uint32_t newValue) {
  const Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(physicalMonitorName(toHandle(monitor)));
  }
  const std::string what = "SetVCPFeature(" + hex(static_cast<std::uintptr_t>(monitor)) + ", " +
                           hex(vcpCode) + ", " + std::to_string(newValue) + ")";
  if (!withOneRetryOnTransmissionError([&] {
        return traced(what, [&] {
          return api->setVCPFeature(toHandle(monitor), vcpCode, newValue) != FALSE;
        });
      })) {
    return failed("SetVCPFeature", physicalMonitorName(toHandle(monitor)));
  }
  return true;
}

bool getVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, std::uint8_t vcpCode,
                                     std::uint32_t* codeType, std::uint32_t* currentValue,
                                     std::uint32_t* maximumValue) {
  const Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(physicalMonitorName(toHandle(monitor)));
  }
  MC_VCP_CODE_TYPE type = MC_MOMENTARY;
  DWORD current = 0;
  DWORD maximum = 0;
  const std::string what = "GetVCPFeatureAndVCPFeatureReply(" +
                           hex(static_cast<std::uintptr_t>(monitor)) + ", " + hex(vcpCode) + ")";
  if (!withOneRetryOnTransmissionError([&] {
        return traced(what, [&] {
          return api->getVCPFeatureAndVCPFeatureReply(toHandle(monitor), vcpCode, &type, &current,
                                                      &maximum) != FALSE;
        });
      })) {
    return failed("GetVCPFeatureAndVCPFeatureReply", physicalMonitorName(toHandle(monitor)));
  }
  trace("  current " + std::to_string(current) + ", maximum " + std::to_string(maximum));
  *codeType = static_cast<std::uint32_t>(type);
  *currentValue = current;
  *maximumValue = maximum;
  return true;
}

bool destroyPhysicalMonitor(PhysicalMonitorHandle monitor) {
  const Dxva2* api = dxva2();
  if (api == nullptr) {
    return withoutDxva2(physicalMonitorName(toHandle(monitor)));
  }
  const std::string name = physicalMonitorName(toHandle(monitor));
  reports().names.erase(static_cast<std::uintptr_t>(monitor));
  if (!traced("DestroyPhysicalMonitor(" + hex(static_cast<std::uintptr_t>(monitor)) + ")",
              [&] { return api->destroyPhysicalMonitor(toHandle(monitor)) != FALSE; })) {
    return failed("DestroyPhysicalMonitor", name);
  }
  return true;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
  trace("Sleep(" + std::to_string(milliseconds) + ")");
  Sleep(milliseconds);
}

Failure lastFailure() {
  return reports().last;
}

Failure whyNoMonitor() {
  // Enumeration had nothing to fail on: no display monitor, or none with a
  // physical monitor behind it.
  return Failure{FailureCause::kNoPhysicalMonitor, "", "", 0, ""};
}

void setTraceSink(TraceSink* sink) {
  reports().trace = sink;
}

}  // namespace kelvane::platform
