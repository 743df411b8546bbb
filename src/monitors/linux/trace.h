// The Linux backend's trace: one line for every step it takes (what it
// examined and why it took or skipped it, each message's bytes, each wait),
// handed to whatever sink the program set; with none, nothing is handed on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// "51 82 01 D6 6A"
std::string hexBytes(const std::uint8_t* bytes, std::size_t size);

// The system's words for an errno.
std::string errorText(int error);

}  // namespace kelvane::linux_ddc
