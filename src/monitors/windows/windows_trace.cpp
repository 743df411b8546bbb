// SPDX-License-Identifier: MIT
#include "monitors/windows/windows_trace.h"

namespace kelvane::windows_api {
namespace {

// Process-wide: the seam's free functions have no object to keep it in.
platform::TraceSink*& sink() {
  static platform::TraceSink* instance = nullptr;
  return instance;
}

}  // namespace

void setTraceSink(platform::TraceSink* newSink) {
  sink() = newSink;
}

bool tracing() {
  return sink() != nullptr;
}

void trace(const std::string& line) {
  if (sink() != nullptr) {
    sink()->traceLine(line);
  }
}

}  // namespace kelvane::windows_api
