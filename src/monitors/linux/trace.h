// SPDX-License-Identifier: MIT
// The Linux backend's trace: one line for every step it takes (what it
// examined and why it took or skipped it, each message's bytes, each wait),
// handed to whatever sink the program set; with none, nothing is handed on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "monitors/hex_text.h"
#include "monitors/platform.h"

namespace kelvane::linux_ddc {

class Tracer {
 public:
  void setSink(platform::TraceSink* sink) { sink_ = sink; }
  bool on() const { return sink_ != nullptr; }
  void line(const std::string& text) const {
    if (sink_ != nullptr) {
      sink_->traceLine(text);
    }
  }

 private:
  platform::TraceSink* sink_ = nullptr;
};

// "51 82 01 D6 6A", as everything Kelvane writes for people.
using kelvane::hexBytes;

// The system's words for an errno.
std::string errorText(int error);

}  // namespace kelvane::linux_ddc
