// SPDX-License-Identifier: MIT
#include "app/diagnostics.h"

#include <string>

#include "app/console_reports.h"

namespace kelvane {

bool traceRequested(const char* value) {
  return value != nullptr && std::string_view(value) == "1";
}

Diagnostics::Diagnostics(std::ostream& err, bool trace) : err_(err), trace_(trace) {
  if (trace_) {
    platform::setTraceSink(this);
  }
}

Diagnostics::~Diagnostics() {
  if (trace_) {
    platform::setTraceSink(nullptr);
  }
}

void Diagnostics::report(const platform::Failure& failure) {
  std::string line = failureLine(failure);
  if (told_.insert(line).second) {
    printLine(err_, line);
  }
}

void Diagnostics::reportInterruptedRoutine() {
  printLine(err_, kRoutineInterruptedLine);
}

void Diagnostics::traceLine(std::string_view line) {
  printLine(err_, kelvane::traceLine(line));
}

}  // namespace kelvane
