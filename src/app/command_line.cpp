// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <optional>
#include <string_view>

#include "app/console_reports.h"
#include "app/test_routine.h"
#include "monitors/interruption.h"

namespace kelvane {

ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out) {
  ParseResult result;
  if (argc < 1) {
    result.outcome = ParseOutcome::kNothing;
    return result;
  }
  if (argc == 1) {
    result.outcome = ParseOutcome::kUsage;
    return result;
  }

  RunRequest& request = result.request;
  int index = 1;
  while (index < argc) {
    const std::string_view argument = argv[index];
    if (argument == "-q") {
      request.query = true;
      index += 1;
    } else if (argument == "-p") {
      // The next argument is the value whatever it looks like; when there is
      // none, the echo shows an empty value rather than reading past argv.
      const bool hasValue = index + 1 < argc;
      const std::string_view value =
          hasValue ? std::string_view(argv[index + 1]) : std::string_view();
      printEcho(out, argument, value);
      const std::optional<PowerMode> mode =
          hasValue ? powerModeNamed(value) : std::optional<PowerMode>();
      if (!mode) {
        printLine(out, kPowerArgumentInvalidLine);
        printEcho(out, argument, value);
        result.outcome = ParseOutcome::kUsage;
        return result;
      }
      request.power = true;
      request.powerMode = *mode;
      index += 2;
    } else if (argument == "-t") {
      request.test = true;
      index += 1;
    } else {
      printLine(out, kInvalidArgumentsLine);
      result.outcome = ParseOutcome::kUsage;
      return result;
    }
  }
  result.outcome = ParseOutcome::kRun;
  return result;
}

int runRequest(const RunRequest& request, std::ostream& out, FailureReporter* reporter) {
  if (request.test) {
    return runTestRoutine(out, reporter);
  }
  // The query comes first so that it reports the state before the command.
  if (request.query) {
    const Monitors monitors(reporter);
    const StatusValue status = monitors.queryPowerMode();
    if (!interruption::requested()) {
      printStatus(out, status);
    }
  }
  if (request.power && interruption::mayCommand()) {
    const Monitors monitors(reporter);
    monitors.setPowerMode(request.powerMode);
  }
  return interruption::exitStatus();
}

}  // namespace kelvane
