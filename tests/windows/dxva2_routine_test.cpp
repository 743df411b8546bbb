// kelvane.exe -t under Wine, with the dxva2 stand-in: the test routine in
// real time, about 67 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dxva2_scripted_run.h"
#include "expected_texts.h"
#include "kelvane_process.h"

namespace kelvane::dxva2_test {
namespace {

using testing_support::lineEnds;

TEST(Dxva2RoutineTest, WalksEveryMonitorThroughEveryModeAndPrintsEachLineBeforeItsSleep) {
  const ScriptedRun run = runScripted("monitors 0x20 0x10", {"-t"});
  ASSERT_TRUE(run.result.started);
  ASSERT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitStatus, 0);
  expectWellBehaved(run);

  // Each line with the sleep that follows it, in ms.
  using expected::kStatusHeading;
  std::vector<std::pair<std::string, int>> lines{
      {expected::kRoutineStart, 0}, {kStatusHeading, 0}, {"On", 1000}};
  for (const auto& [command, status] : expected::kRoutineSteps) {
    lines.insert(lines.end(), {{command, 5000},
                               {kStatusHeading, 0},
                               {status, 5000},
                               {kStatusHeading, 0},
                               {status, 1000}});
  }
  lines.emplace_back(expected::kRoutineEnd, 0);
  ASSERT_EQ(lines.size(), 34U);

  std::string out;
  for (const auto& line : lines) {
    out += line.first + "\n";
  }
  ASSERT_EQ(run.result.out, lineEnds(out));
  ASSERT_EQ(run.result.lines.size(), lines.size());
  // A line held back in a buffer would arrive with the next one, after the
  // sleep, instead of a sleep's length before it.
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(
                         run.result.lines[i + 1].arrived - run.result.lines[i].arrived)
                         .count();
    SCOPED_TRACE(testing::Message() << "after \"" << lines[i].first << "\": " << gap << " ms");
    EXPECT_GE(gap, lines[i].second - 250);
    EXPECT_LE(gap, lines[i].second + 1500);
  }

  std::map<std::string, std::string> setsPerMonitor;
  int reads = 0;
  for (const std::string& call : run.calls) {
    std::istringstream words(call);
    std::string name;
    std::string handle;
    std::string code;
    std::string value;
    words >> name >> handle >> code >> value;
    if (name == "set") {
      setsPerMonitor[handle] += value;
    }
    if (name == "get") {
      EXPECT_EQ(handle, "0x10");
      ++reads;
    }
  }
  EXPECT_EQ(setsPerMonitor,
            (std::map<std::string, std::string>{{"0x10", "123451"}, {"0x20", "123451"}}));
  EXPECT_EQ(reads, 13);
  // One monitor set for the whole routine.
  EXPECT_EQ(std::count_if(run.calls.begin(), run.calls.end(),
                          [](const std::string& call) { return call.rfind("count ", 0) == 0; }),
            1);
}

}  // namespace
}  // namespace kelvane::dxva2_test
