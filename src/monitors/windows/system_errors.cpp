// SPDX-License-Identifier: MIT
#include "monitors/windows/system_errors.h"

#include <iterator>

#include "monitors/windows/wide_text.h"

namespace kelvane::windows_api {
namespace {

// The monitor configuration errors that Windows monitor tools meet most.
const char* knownMonitorError(DWORD code) {
  switch (code) {
    case kI2cErrorTransmittingData:
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

}  // namespace

std::string systemMessage(DWORD code) {
  wchar_t buffer[512];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::string text = utf8(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? knownMonitorError(code) : text;
}

}  // namespace kelvane::windows_api
