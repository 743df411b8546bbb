// SPDX-License-Identifier: MIT
// The system's words for an error code, for the failure lines.
#pragma once

#include <string>

#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::windows_api {

// ERROR_GRAPHICS_I2C_ERROR_TRANSMITTING_DATA, which MinGW-w64's winerror.h
// lacks: the driver could not get the message across the I2C bus. It is
// usually transient, and widely used monitor tools send once more.
inline constexpr DWORD kI2cErrorTransmittingData = 0xC0262582;

// FormatMessage's text without the line end it adds; for the monitor
// configuration errors that a system has no words for (Wine has none), the
// documentation's.
std::string systemMessage(DWORD code);

}  // namespace kelvane::windows_api
