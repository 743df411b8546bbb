// SPDX-License-Identifier: MIT
// Runs the kelvane executable that the environment names, for the tests that
// check a built program from outside:
//   KELVANE_EXE         the executable (required)
//   KELVANE_LAUNCHER    a program to start it with, such as Wine (optional)
//   KELVANE_CRLF=1      it writes Windows line ends
//   KELVANE_TIMEOUT     seconds a run may take before it is killed (default 120;
//                       the first start of Wine in a new prefix takes several)
#pragma once

#include <string>
#include <vector>

#include "child_process.h"

namespace kelvane::testing_support {

// The exit status -1, after the usage block, as a POSIX parent sees it.
inline constexpr int kUsageExitStatus = 255;

// The variable's value, empty when it is not set.
std::string environment(const char* name);

// The text with the line ends the executable writes.
std::string lineEnds(const std::string& text);

// Runs KELVANE_EXE, or the given executable, with the arguments.
ChildResult runKelvane(const std::vector<std::string>& arguments, const std::string& exe = "",
                       const ChildOptions& options = {});

}  // namespace kelvane::testing_support
