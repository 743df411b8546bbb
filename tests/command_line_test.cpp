// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "fake_platform.h"
#include "recording_stream.h"

namespace kelvane {
namespace {

using Log = std::vector<std::string>;
using testing_support::RecordingStream;

struct Parsed {
  ParseResult result;
  std::string output;
};

Parsed parse(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"kelvane"};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  RecordingStream out;
  Parsed parsed{parseCommandLine(static_cast<int>(argv.size()), argv.data(), out.stream()), ""};
  EXPECT_TRUE(out.everyLineFlushed());
  parsed.output = out.text();
  return parsed;
}

constexpr const char* kInvalid = expected::kInvalidArguments;
constexpr const char* kPowerInvalid = expected::kPowerArgumentInvalid;

class CommandLineTest : public testing::Test {
 protected:
  void SetUp() override { fake::platform().reset(); }
  fake::Platform& platform = fake::platform();
};

TEST_F(CommandLineTest, AcceptedVectors) {
  struct Case {
    std::vector<std::string> arguments;
    bool query, test, power;
    std::uint32_t code;  // on the wire
    std::string output;
  };
  const Case cases[] = {
      {{"-q"}, true, false, false, 1, ""},
      {{"-q", "-q"}, true, false, false, 1, ""},
      {{"-t"}, false, true, false, 1, ""},
      {{"-p", "On"}, false, false, true, 1, "Option: -p, value: On\n"},
      {{"-p", "Standby"}, false, false, true, 2, "Option: -p, value: Standby\n"},
      {{"-p", "Suspend"}, false, false, true, 3, "Option: -p, value: Suspend\n"},
      {{"-p", "Off"}, false, false, true, 4, "Option: -p, value: Off\n"},
      {{"-p", "HardOff"}, false, false, true, 5, "Option: -p, value: HardOff\n"},
      {{"-p", "On", "-p", "Off"},
       false,
       false,
       true,
       4,
       "Option: -p, value: On\nOption: -p, value: Off\n"},
      {{"-p", "Off", "-q", "-t"}, true, true, true, 4, "Option: -p, value: Off\n"},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.arguments);
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    ASSERT_EQ(parsed.result.outcome, ParseOutcome::kRun);
    EXPECT_EQ(parsed.result.request.query, c.query);
    EXPECT_EQ(parsed.result.request.test, c.test);
    EXPECT_EQ(parsed.result.request.power, c.power);
    EXPECT_EQ(codeOf(parsed.result.request.powerMode), c.code);
    EXPECT_EQ(parsed.output, c.output);
  }
  EXPECT_TRUE(platform.log.empty()) << "parsing touched the platform";
}

TEST_F(CommandLineTest, RejectedVectorsPrintTheirErrorLinesBeforeTheUsage) {
  struct Case {
    std::vector<std::string> arguments;
    std::string output;
  };
  const std::string echoEmpty = "Option: -p, value: \n";
  const Case cases[] = {
      {{}, ""},
      {{"-x"}, kInvalid},
      {{"-q", "-x"}, kInvalid},
      {{"-qp"}, kInvalid},
      {{"-qt"}, kInvalid},
      {{"--q"}, kInvalid},
      {{"-Q"}, kInvalid},
      {{""}, kInvalid},
      {{"-q "}, kInvalid},
      {{"On"}, kInvalid},
      {{"-p", "Off", "extra"}, std::string("Option: -p, value: Off\n") + kInvalid},
      {{"-p", "off"},
       std::string("Option: -p, value: off\n") + kPowerInvalid + "Option: -p, value: off\n"},
      {{"-p", "ON"},
       std::string("Option: -p, value: ON\n") + kPowerInvalid + "Option: -p, value: ON\n"},
      {{"-p", "Of"},
       std::string("Option: -p, value: Of\n") + kPowerInvalid + "Option: -p, value: Of\n"},
      {{"-p", "OffX"},
       std::string("Option: -p, value: OffX\n") + kPowerInvalid + "Option: -p, value: OffX\n"},
      {{"-p", "1"},
       std::string("Option: -p, value: 1\n") + kPowerInvalid + "Option: -p, value: 1\n"},
      {{"-p", ""}, echoEmpty + kPowerInvalid + echoEmpty},
      {{"-p", "-q"},
       std::string("Option: -p, value: -q\n") + kPowerInvalid + "Option: -p, value: -q\n"},
      {{"-p"}, echoEmpty + kPowerInvalid + echoEmpty},
      {{"-q", "-p"}, echoEmpty + kPowerInvalid + echoEmpty},
      {{"-p", "On", "-p"}, "Option: -p, value: On\n" + echoEmpty + kPowerInvalid + echoEmpty},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.arguments);
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EXPECT_EQ(parsed.result.outcome, ParseOutcome::kUsage);
    EXPECT_EQ(parsed.output, c.output);
  }
  EXPECT_TRUE(platform.log.empty()) << "a rejected vector touched the platform";
}

TEST_F(CommandLineTest, ValueWithEmbeddedNulStopsAtTheNulLikeAnyCString) {
  // argv entries are C strings: "Off" followed by a NUL and more bytes is "Off".
  const char value[] = "Off\0junk";
  const char* argv[] = {"kelvane", "-p", value};
  RecordingStream out;
  const ParseResult result = parseCommandLine(3, argv, out.stream());
  EXPECT_EQ(result.outcome, ParseOutcome::kRun);
  EXPECT_EQ(codeOf(result.request.powerMode), 4u);
}

TEST_F(CommandLineTest, NoArgumentVectorAtAllEndsQuietly) {
  RecordingStream out;
  EXPECT_EQ(parseCommandLine(0, nullptr, out.stream()).outcome, ParseOutcome::kNothing);
  EXPECT_EQ(out.text(), "");
}

TEST_F(CommandLineTest, QueryRunsBeforeTheCommandEachWithItsOwnMonitors) {
  platform.displays = {fake::displayWith({0x20}), fake::displayWith({0x10})};
  platform.monitors[0x10] = fake::answering(2);
  const Parsed parsed = parse({"-p", "Off", "-q"});
  RecordingStream out;
  runRequest(parsed.result.request, out.stream());
  EXPECT_EQ(out.text(), "Error, status answer: 2\n");
  EXPECT_TRUE(out.everyLineFlushed());
  const Log enumeration{"enumerate", "count D1", "fill D1 1", "count D2", "fill D2 1"};
  Log expected = enumeration;
  expected.insert(expected.end(), {"get 0x10", "destroy 0x10", "destroy 0x20"});
  expected.insert(expected.end(), enumeration.begin(), enumeration.end());
  expected.insert(expected.end(), {"set 0x10 4", "set 0x20 4", "destroy 0x10", "destroy 0x20"});
  EXPECT_EQ(platform.log, expected);
  EXPECT_TRUE(platform.open.empty());
}

TEST_F(CommandLineTest, RepeatedQueryReadsOnceAndLastPowerModeIsSentOnce) {
  platform.displays = {fake::displayWith({0x10})};
  const Parsed parsed = parse({"-q", "-p", "On", "-q", "-p", "Off"});
  RecordingStream out;
  runRequest(parsed.result.request, out.stream());
  EXPECT_EQ(out.text(), "On\n");
  EXPECT_EQ(platform.log,
            (Log{"enumerate", "count D1", "fill D1 1", "get 0x10", "destroy 0x10", "enumerate",
                 "count D1", "fill D1 1", "set 0x10 4", "destroy 0x10"}));
}

TEST_F(CommandLineTest, StatusWithoutAnyMonitorStillCompletes) {
  const Parsed parsed = parse({"-q", "-p", "HardOff"});
  RecordingStream out;
  runRequest(parsed.result.request, out.stream());
  EXPECT_EQ(out.text(), "Error, status answer: -2\n");
  EXPECT_EQ(platform.log, (Log{"enumerate", "enumerate"}));
}

}  // namespace
}  // namespace kelvane
