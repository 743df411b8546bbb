#include "monitors/linux/trace.h"

#include <cstring>

namespace kelvane::linux_ddc {

std::string hexBytes(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (i > 0) {
      text += ' ';
    }
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string errorText(int error) {
  // strerror is not thread-safe, and this program has one thread.
  return std::strerror(error);  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace kelvane::linux_ddc
