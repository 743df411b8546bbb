// SPDX-License-Identifier: MIT
// Windows' UTF-16 text as the UTF-8 that Kelvane writes.
#pragma once

#include <cstddef>
#include <string>

namespace kelvane::windows_api {

// The first length characters of text; empty when they cannot be converted.
std::string utf8(const wchar_t* text, std::size_t length);

}  // namespace kelvane::windows_api
