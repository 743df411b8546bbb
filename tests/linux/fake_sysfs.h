// A throwaway directory tree laid out like a piece of sysfs, for the tests of
// the readers that take their root as a parameter.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kelvane::linux_ddc {

class FakeSysfs {
 public:
  FakeSysfs() {
    char pattern[] = "/tmp/kelvane-sysfs-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      root_ = pattern;
    }
  }
  ~FakeSysfs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;
  FakeSysfs(FakeSysfs&&) = delete;
  FakeSysfs& operator=(FakeSysfs&&) = delete;

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
  std::string root_;
};

}  // namespace kelvane::linux_ddc
