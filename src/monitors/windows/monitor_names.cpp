// SPDX-License-Identifier: MIT
#include "monitors/windows/monitor_names.h"

#include <cwchar>
#include <map>

#include "monitors/hex_text.h"
#include "monitors/platform.h"
#include "monitors/windows/wide_text.h"

namespace kelvane::windows_api {
namespace {

std::uintptr_t numeric(HANDLE handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

// Process-wide like the handles themselves: the seam's free functions have no
// object to keep the names in.
std::map<std::uintptr_t, std::string>& names() {
  static std::map<std::uintptr_t, std::string> instance;
  return instance;
}

}  // namespace

std::string displayName(HMONITOR monitor) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info) == FALSE) {
    return hexNumber(reinterpret_cast<std::uintptr_t>(monitor));
  }
  const RECT& area = info.rcMonitor;
  return utf8(info.szDevice, std::wcslen(info.szDevice)) + " at " + std::to_string(area.left) +
         "," + std::to_string(area.top) + " (" + std::to_string(area.right - area.left) + "x" +
         std::to_string(area.bottom - area.top) + ")";
}

const std::string& nameFilled(const PHYSICAL_MONITOR& filled, std::uint32_t index,
                              std::uint32_t count, const std::string& display) {
  const wchar_t* description = filled.szPhysicalMonitorDescription;
  std::string& name = names()[numeric(filled.hPhysicalMonitor)];
  name = "\"" +
         utf8(description, wcsnlen(description, platform::kPhysicalMonitorDescriptionLength)) +
         "\", physical monitor " + std::to_string(index + 1) + " of " + std::to_string(count) +
         " on " + display;
  return name;
}

std::string physicalMonitorName(HANDLE monitor) {
  const auto found = names().find(numeric(monitor));
  return found != names().end() ? found->second : "physical monitor " + hexNumber(numeric(monitor));
}

void forgetPhysicalMonitor(HANDLE monitor) {
  names().erase(numeric(monitor));
}

}  // namespace kelvane::windows_api
