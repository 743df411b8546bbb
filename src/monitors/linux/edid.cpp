// SPDX-License-Identifier: MIT
#include "monitors/linux/edid.h"

#include <algorithm>

namespace kelvane::linux_ddc {

bool isValidEdid(const EdidBlock& block) {
  constexpr std::array<std::uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  if (!std::equal(kHeader.begin(), kHeader.end(), block.begin())) {
    return false;
  }
  std::uint8_t sum = 0;
  for (const std::uint8_t byte : block) {
    sum = static_cast<std::uint8_t>(sum + byte);
  }
  return sum == 0;
}

}  // namespace kelvane::linux_ddc
