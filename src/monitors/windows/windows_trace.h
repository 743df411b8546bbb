// SPDX-License-Identifier: MIT
// The Windows backend's trace: each dxva2 call with its result and how long it
// took, handed to whatever sink the program set; with none, nothing is made.
#pragma once

#include <chrono>
#include <string>

#include "monitors/hex_text.h"
#include "monitors/platform.h"
#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::windows_api {

void setTraceSink(platform::TraceSink* sink);
bool tracing();
void trace(const std::string& line);

// Runs one call, tracing it with its outcome and how long it took, and keeps
// GetLastError() as the call left it.
template <typename Call>
bool traced(const std::string& what, Call call) {
  const auto start = std::chrono::steady_clock::now();
  const bool succeeded = call();
  const DWORD code = GetLastError();
  if (tracing()) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    trace(what + " -> " + (succeeded ? std::string("TRUE") : "FALSE, error " + hexNumber(code)) +
          ", " + std::to_string(took) + " ms");
  }
  SetLastError(code);
  return succeeded;
}

}  // namespace kelvane::windows_api
