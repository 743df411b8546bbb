// SPDX-License-Identifier: MIT
// Numbers and bytes in hexadecimal, the one way Kelvane writes them for
// people (failure lines, the trace) and its tests expect them: upper-case
// digits, numbers with "0x" before them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvane {

// "0x7E"; with digits 8, "0x0000007E".
inline std::string hexNumber(std::uint64_t value, int digits = 1) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0x0F]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(text.size()) < digits) {
    text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
  }
  return "0x" + text;
}

// "51 82 01 D6 6A": two digits a byte, a space between bytes.
inline std::string hexBytes(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) {
      text += ' ';
    }
    text += hexNumber(bytes[i], 2).substr(2);
  }
  return text;
}

}  // namespace kelvane
