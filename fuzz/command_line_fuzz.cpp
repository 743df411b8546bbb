// SPDX-License-Identifier: MIT
// Feeds the command-line parser arbitrary argument vectors and checks its
// verdict against a rule derived here independently of it.
//
// The input is the arguments after the program name, each ended by a NUL byte
// (the last one may also end with the input): "" is no argument at all, "\0"
// is one empty argument, "-p\0Off" is two. Every string and the vector itself
// live in heap blocks of exactly their size, so AddressSanitizer reports any
// read past an argument's terminator or past argv[argc - 1] (there is no null
// entry at argv[argc] to fall back on).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/console_reports.h"

namespace {

using kelvane::ParseOutcome;
using kelvane::ParseResult;
using kelvane::PowerMode;

std::vector<std::string> splitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start < size) {
    const void* nul = std::memchr(data + start, 0, size - start);
    const std::size_t end =
        nul == nullptr ? size
                       : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data);
    arguments.emplace_back(reinterpret_cast<const char*>(data + start), end - start);
    start = end + 1;
  }
  return arguments;
}

// The exact-size copies that back one argv.
class ArgumentVector {
 public:
  explicit ArgumentVector(const std::vector<std::string>& arguments)
      : argc_(static_cast<int>(arguments.size()) + 1),
        argv_(std::make_unique<const char*[]>(arguments.size() + 1)) {
    add("kelvane");
    for (const std::string& argument : arguments) {
      add(argument);
    }
  }
  int argc() const { return argc_; }
  const char* const* argv() const { return argv_.get(); }

 private:
  void add(std::string_view text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.data(), text.size());
    copy[text.size()] = '\0';
    argv_[strings_.size()] = copy.get();
    strings_.push_back(std::move(copy));
  }

  int argc_;
  std::unique_ptr<const char*[]> argv_;
  std::vector<std::unique_ptr<char[]>> strings_;
};

bool powerModeCode(std::string_view name, PowerMode* code) {
  const std::string_view names[] = {"On", "Standby", "Suspend", "Off", "HardOff"};
  for (std::size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    if (name == names[i]) {
      *code = static_cast<PowerMode>(i + 1);
      return true;
    }
  }
  return false;
}

// What the parser must conclude and print for these arguments.
struct Expected {
  ParseOutcome outcome = ParseOutcome::kRun;
  bool query = false;
  bool test = false;
  bool power = false;
  PowerMode powerMode = PowerMode::kOn;
  std::string output;
};

std::string echoLine(std::string_view value) {
  return "Option: -p, value: " + std::string(value) + "\n";
}

Expected expectedFor(const std::vector<std::string>& arguments) {
  Expected expected;
  if (arguments.empty()) {
    expected.outcome = ParseOutcome::kUsage;
    return expected;
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-q") {
      expected.query = true;
    } else if (argument == "-t") {
      expected.test = true;
    } else if (argument == "-p") {
      const bool hasValue = i + 1 < arguments.size();
      const std::string value = hasValue ? arguments[i + 1] : std::string();
      expected.output += echoLine(value);
      PowerMode code = PowerMode::kOn;
      if (!hasValue || !powerModeCode(value, &code)) {
        expected.output += std::string(kelvane::kPowerArgumentInvalidLine) + "\n" + echoLine(value);
        expected.outcome = ParseOutcome::kUsage;
        return expected;
      }
      expected.power = true;
      expected.powerMode = code;
      ++i;
    } else {
      expected.output += std::string(kelvane::kInvalidArgumentsLine) + "\n";
      expected.outcome = ParseOutcome::kUsage;
      return expected;
    }
  }
  return expected;
}

void check(bool holds) {
  if (!holds) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> arguments = splitArguments(data, size);
  const ArgumentVector vector(arguments);
  std::ostringstream out;
  const ParseResult result = kelvane::parseCommandLine(vector.argc(), vector.argv(), out);

  const Expected expected = expectedFor(arguments);
  check(result.outcome == expected.outcome);
  check(out.str() == expected.output);
  if (expected.outcome == ParseOutcome::kRun) {
    check(result.request.query == expected.query);
    check(result.request.test == expected.test);
    check(result.request.power == expected.power);
    check(result.request.powerMode == expected.powerMode);
  }
  return 0;
}
