// SPDX-License-Identifier: MIT
// How the failure lines and the trace name a monitor on Windows: a display
// monitor by its device and place on the desktop, a physical monitor by its
// description and the display monitor it belongs to.
#pragma once

#include <cstdint>
#include <string>

#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::windows_api {

// "\\.\DISPLAY1 at 0,0 (1920x1080)"
std::string displayName(HMONITOR monitor);

// "\"DELL U2720Q\", physical monitor 1 of 2 on \\.\DISPLAY1 at 0,0 (1920x1080)",
// kept for the handle until it is forgotten: the description comes only with
// the fill.
const std::string& nameFilled(const PHYSICAL_MONITOR& filled, std::uint32_t index,
                              std::uint32_t count, const std::string& display);

// The name kept for an open handle, or "physical monitor 0x..." for another.
std::string physicalMonitorName(HANDLE monitor);
void forgetPhysicalMonitor(HANDLE monitor);

}  // namespace kelvane::windows_api
