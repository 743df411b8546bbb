// SPDX-License-Identifier: MIT
// An output stream for the tests that keeps what was written and where it was
// flushed, so that a test can tell whether every line reached the console at
// once (a buffered line would appear only after the sleep that follows it).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace kelvane::testing_support {

class RecordingBuffer : public std::streambuf {
 public:
  const std::string& text() const { return text_; }
  const std::vector<std::size_t>& flushes() const { return flushes_; }

 protected:
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      text_.push_back(traits_type::to_char_type(ch));
    }
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char* s, std::streamsize count) override {
    text_.append(s, static_cast<std::size_t>(count));
    return count;
  }
  int sync() override {
    flushes_.push_back(text_.size());
    return 0;
  }

 private:
  std::string text_;
  std::vector<std::size_t> flushes_;
};

class RecordingStream {
 public:
  std::ostream& stream() { return stream_; }
  const std::string& text() const { return buffer_.text(); }

  // Succeeds when a flush followed every line end before anything else was written.
  ::testing::AssertionResult everyLineFlushed() const {
    const auto& flushes = buffer_.flushes();
    const std::string& written = buffer_.text();
    for (std::size_t end = written.find('\n'); end != std::string::npos;
         end = written.find('\n', end + 1)) {
      if (std::find(flushes.begin(), flushes.end(), end + 1) == flushes.end()) {
        return ::testing::AssertionFailure()
               << "no flush after the line ending at offset " << end << " of:\n"
               << written;
      }
    }
    return ::testing::AssertionSuccess();
  }

 private:
  RecordingBuffer buffer_;
  std::ostream stream_{&buffer_};
};

}  // namespace kelvane::testing_support
