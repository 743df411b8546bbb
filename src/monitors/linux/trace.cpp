// SPDX-License-Identifier: MIT
#include "monitors/linux/trace.h"

#include <cstring>

namespace kelvane::linux_ddc {

std::string errorText(int error) {
  // strerror is not thread-safe, and this program has one thread.
  return std::strerror(error);  // NOLINT(concurrency-mt-unsafe)
}

}  // namespace kelvane::linux_ddc
