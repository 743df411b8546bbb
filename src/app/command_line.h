// SPDX-License-Identifier: MIT
// Reading the argument vector and carrying out what it asks for.
#pragma once

#include <ostream>

#include "monitors/monitors.h"

namespace kelvane {

struct RunRequest {
  bool query = false;
  bool test = false;
  bool power = false;
  PowerMode powerMode = PowerMode::kOn;
};

enum class ParseOutcome {
  kRun,      // every argument was accepted
  kUsage,    // the usage block must follow and the process end with kUsageExitStatus
  kNothing,  // no argument vector at all: end quietly
};

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::kUsage;
  RunRequest request;
};

// Validates the whole vector before anything else happens. Prints the echo
// line of every "-p" and the error lines as it goes, but not the usage block,
// and never ends the process. Reads argv[0] to argv[argc - 1] only.
ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out);

// Runs an accepted request: the test routine alone, or the query and then the
// power command, each with a Monitors object of its own. Failures go to the
// reporter, when there is one. Returns the exit status: 0, or that of an
// interruption, after which nothing more is printed or sent (the interrupted
// test routine puts the monitors back on first).
int runRequest(const RunRequest& request, std::ostream& out, FailureReporter* reporter = nullptr);

}  // namespace kelvane
