// SPDX-License-Identifier: MIT
#include "kelvane_process.h"

#include <chrono>
#include <cstdlib>

namespace kelvane::testing_support {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

std::string lineEnds(const std::string& text) {
  if (environment("KELVANE_CRLF") != "1") {
    return text;
  }
  std::string converted;
  for (const char c : text) {
    if (c == '\n') {
      converted += '\r';
    }
    converted += c;
  }
  return converted;
}

ChildResult runKelvane(const std::vector<std::string>& arguments, const std::string& exe,
                       const ChildOptions& options) {
  std::vector<std::string> argv;
  if (const std::string launcher = environment("KELVANE_LAUNCHER"); !launcher.empty()) {
    argv.push_back(launcher);
  }
  argv.push_back(exe.empty() ? environment("KELVANE_EXE") : exe);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const std::string timeout = environment("KELVANE_TIMEOUT");
  const long seconds = timeout.empty() ? 120 : std::strtol(timeout.c_str(), nullptr, 10);
  return runChild(argv, std::chrono::seconds(seconds > 0 ? seconds : 120), options);
}

}  // namespace kelvane::testing_support
