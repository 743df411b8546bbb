// SPDX-License-Identifier: MIT
#include "app/console_reports.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "expected_texts.h"
#include "recording_stream.h"

namespace kelvane {
namespace {

using testing_support::RecordingStream;

TEST(StatusLineTest, OnlyOnOffAndFailedReadHaveWords) {
  struct Case {
    StatusValue status;
    const char* line;
  };
  const Case cases[] = {
      {1, "On"},
      {0, "Off"},
      {-1, "Disconected"},
      {-2, "Error, status answer: -2"},
      {2, "Error, status answer: 2"},
      {4, "Error, status answer: 4"},
      {5, "Error, status answer: 5"},
      {65535, "Error, status answer: 65535"},
      {std::numeric_limits<std::int32_t>::min(), "Error, status answer: -2147483648"},
      {std::numeric_limits<std::int32_t>::max(), "Error, status answer: 2147483647"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(statusLine(c.status), c.line) << "status " << c.status;
  }
}

TEST(ConsoleReportsTest, UsageBlockIsExactAndFlushedLineByLine) {
  RecordingStream out;
  printUsage(out.stream());
  EXPECT_EQ(out.text(), expected::kUsage);
  EXPECT_TRUE(out.everyLineFlushed());
}

TEST(ConsoleReportsTest, EchoAndStatusLinesAreFlushed) {
  RecordingStream out;
  printEcho(out.stream(), "-p", "Off");
  printEcho(out.stream(), "-p", "");
  printStatus(out.stream(), 0);
  printStatus(out.stream(), -2);
  EXPECT_EQ(out.text(),
            "Option: -p, value: Off\n"
            "Option: -p, value: \n"
            "Off\n"
            "Error, status answer: -2\n");
  EXPECT_TRUE(out.everyLineFlushed());
}

}  // namespace
}  // namespace kelvane
