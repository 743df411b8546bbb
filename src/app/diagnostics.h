// SPDX-License-Identifier: MIT
// What Kelvane tells people on standard error: one line for each monitor
// that could not be opened, read or commanded, one when no monitor was found
// at all, and, when asked for, a trace of every platform step. Standard
// output and the exit status never change for it.
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <string_view>

#include "monitors/monitors.h"
#include "monitors/platform.h"

namespace kelvane {

// The environment variable that asks for the trace, with the value 1.
inline constexpr const char* kTraceVariable = "KELVANE_TRACE";
bool traceRequested(const char* value);

class Diagnostics final : public FailureReporter, public platform::TraceSink {
 public:
  // With trace set, the platform's steps go to err too, for as long as this
  // object lives.
  Diagnostics(std::ostream& err, bool trace);
  ~Diagnostics() override;
  Diagnostics(const Diagnostics&) = delete;
  Diagnostics& operator=(const Diagnostics&) = delete;
  Diagnostics(Diagnostics&&) = delete;
  Diagnostics& operator=(Diagnostics&&) = delete;

  // The same monitor failing the same way is told once per run, however
  // often the test routine or a query and a command meet it.
  void report(const platform::Failure& failure) override;
  void reportInterruptedRoutine() override;
  void traceLine(std::string_view line) override;

 private:
  std::ostream& err_;
  bool trace_;
  std::set<std::string> told_;
};

}  // namespace kelvane
