// SPDX-License-Identifier: MIT
// A file descriptor owned by one object, for the device nodes and sysfs
// attributes the Linux backend opens.
#pragma once

namespace kelvane::linux_ddc {

// Owns one file descriptor and closes it once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept;
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace kelvane::linux_ddc
