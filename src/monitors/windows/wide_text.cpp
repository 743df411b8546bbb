// SPDX-License-Identifier: MIT
#include "monitors/windows/wide_text.h"

#include <climits>

#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::windows_api {

std::string utf8(const wchar_t* text, std::size_t length) {
  if (length == 0 || length > INT_MAX) {
    return {};
  }
  const int wide = static_cast<int>(length);
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return {};
  }
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, wide, converted.data(), size, nullptr, nullptr);
  return converted;
}

}  // namespace kelvane::windows_api
