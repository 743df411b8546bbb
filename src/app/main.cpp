// SPDX-License-Identifier: MIT
#include <cstdlib>
#include <iostream>

#include "app/command_line.h"
#include "app/console_reports.h"
#include "app/diagnostics.h"
#include "app/process.h"

int main(int argc, char* argv[]) {
  kelvane::prepareProcess();
  kelvane::Diagnostics diagnostics(std::cerr,
                                   kelvane::traceRequested(std::getenv(kelvane::kTraceVariable)));
  const kelvane::ParseResult parsed = kelvane::parseCommandLine(argc, argv, std::cout);
  switch (parsed.outcome) {
    case kelvane::ParseOutcome::kUsage:
      kelvane::printUsageAndExit();
    case kelvane::ParseOutcome::kNothing:
      return 0;
    case kelvane::ParseOutcome::kRun:
      break;
  }
  return kelvane::runRequest(parsed.request, std::cout, &diagnostics);
}
