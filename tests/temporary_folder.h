// SPDX-License-Identifier: MIT
// A folder of its own for one test, under the system's temporary folder,
// removed with everything in it when the object goes.
#pragma once

#include <stdlib.h>  // mkdtemp

#include <filesystem>
#include <string>
#include <system_error>

namespace kelvane::testing_support {

class TemporaryFolder {
 public:
  // The folder's name starts with prefix; path() is empty if it could not be made.
  explicit TemporaryFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  ~TemporaryFolder() {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  TemporaryFolder(TemporaryFolder&&) = delete;
  TemporaryFolder& operator=(TemporaryFolder&&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace kelvane::testing_support
