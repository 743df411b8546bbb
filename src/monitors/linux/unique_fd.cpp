// SPDX-License-Identifier: MIT
#include "monitors/linux/unique_fd.h"

#include <unistd.h>

#include <utility>

namespace kelvane::linux_ddc {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    UniqueFd old(std::exchange(fd_, std::exchange(other.fd_, -1)));
  }
  return *this;
}

}  // namespace kelvane::linux_ddc
