// SPDX-License-Identifier: MIT
// A throwaway directory tree laid out like a piece of sysfs, for the tests of
// the readers that take their root as a parameter.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temporary_folder.h"

namespace kelvane::linux_ddc {

class FakeSysfs {
 public:
  const std::string& root() const { return root_; }

  // Creates the directory and its parents.
  void directory(const std::string& relative) {
    std::error_code ignored;
    std::filesystem::create_directories(root_ + "/" + relative, ignored);
  }
  void file(const std::string& relative, const std::string& contents) {
    directory(std::filesystem::path(relative).parent_path().string());
    std::ofstream(root_ + "/" + relative, std::ios::binary) << contents;
  }
  void bytes(const std::string& relative, const std::vector<std::uint8_t>& contents) {
    file(relative, std::string(contents.begin(), contents.end()));
  }
  void link(const std::string& relative, const std::string& target) {
    directory(std::filesystem::path(relative).parent_path().string());
    ASSERT_EQ(symlink(target.c_str(), (root_ + "/" + relative).c_str()), 0) << relative;
  }

 private:
  testing_support::TemporaryFolder folder_{"kelvane-sysfs-"};
  std::string root_ = folder_.path().string();
};

}  // namespace kelvane::linux_ddc
