// SPDX-License-Identifier: MIT
// kelvane.exe under Wine against physical monitors that answer, as the dxva2
// stand-in plays them: what each monitor is sent and what the program prints
// of it. Dxva2BasicsTest is what the slow run of the 32-bit release program
// repeats under emulation; everything else runs with the 64-bit one.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dxva2_scripted_run.h"
#include "expected_texts.h"
#include "kelvane_process.h"

namespace kelvane::dxva2_test {
namespace {

using expected::echo;
using testing_support::kUsageExitStatus;

std::string readFailed(const std::string& words, const std::string& code) {
  return physicalMonitorFailed(2, 2, "GetVCPFeatureAndVCPFeatureReply", words, code);
}

// The three runs that prove the 32-bit release program, __stdcall imports
// and all: the usage, a read, and a command to several monitors.
TEST(Dxva2BasicsTest, WithoutArgumentsPrintsTheUsageAndLoadsNoDxva2) {
  const ScriptedRun run = runScripted("monitors 0x10", {});
  expectOutput(run, expected::kUsage, kUsageExitStatus);
  EXPECT_EQ(run.calls, Calls());
}

TEST(Dxva2BasicsTest, QueryReadsTheMonitorWithTheSmallestHandle) {
  const ScriptedRun run = runScripted("monitors 0x30=4 0x10=1 0x20=2", {"-q"});
  expectOutput(run, "On\n", 0);
  EXPECT_EQ(run.calls, (enumeration("0x30 0x10 0x20") + Calls{"get 0x10 0xD6 -> ok 1"} +
                        destroying({"0x10", "0x20", "0x30"})));
}

TEST(Dxva2BasicsTest, PowerOffGoesToThreeMonitorsInAscendingOrder) {
  const ScriptedRun run = runScripted("monitors 0x30 0x10 0x20", {"-p", "Off"});
  expectOutput(run, echo("Off"), 0);
  EXPECT_EQ(run.calls,
            (enumeration("0x30 0x10 0x20") +
             Calls{"set 0x10 0xD6 4 -> ok", "set 0x20 0xD6 4 -> ok", "set 0x30 0xD6 4 -> ok"} +
             destroying({"0x10", "0x20", "0x30"})));
}

struct QueryCase {
  const char* what;
  std::string script;
  std::string status;
  Calls reads;
  std::string err = "";
};

TEST(Dxva2BackendTest, QueryPrintsWhatTheFirstMonitorAnswersOrThatTheReadFailed) {
  const std::string transmitting = "0xC0262582";  // ERROR_GRAPHICS_I2C_ERROR_TRANSMITTING_DATA
  const std::string noMonitor = "Error, status answer: -2\n";
  const QueryCase cases[] = {
      {"on", "monitors 0x20=4 0x10=1", "On\n", {"get 0x10 0xD6 -> ok 1"}},
      {"off", "monitors 0x20=1 0x10=0", "Off\n", {"get 0x10 0xD6 -> ok 0"}},
      {"standby", "monitors 0x20=1 0x10=2", "Error, status answer: 2\n", {"get 0x10 0xD6 -> ok 2"}},
      {"power off",
       "monitors 0x20=1 0x10=5",
       "Error, status answer: 5\n",
       {"get 0x10 0xD6 -> ok 5"}},
      {"VCP code not supported",
       "monitors 0x20 0x10; get 0x10 fails 0xC0262584",
       "Disconected\n",
       {"get 0x10 0xD6 -> error 0xC0262584"},
       readFailed("the monitor does not support this VCP code", "0xC0262584")},
      {"not implemented, as in Wine",
       "monitors 0x20 0x10; get 0x10 fails 120",
       "Disconected\n",
       {"get 0x10 0xD6 -> error 0x78"},
       readFailed("Call not implemented.", "0x00000078")},
      {"the first fails while the others answer",
       "monitors 0x20=1 0x10=1; get 0x10 fails 31",
       "Disconected\n",
       {"get 0x10 0xD6 -> error 0x1F"},
       readFailed("General failure.", "0x0000001F")},
      {"one transmission error: one more try",
       "monitors 0x20 0x10=2; get 0x10 fails " + transmitting + " once",
       "Error, status answer: 2\n",
       {"get 0x10 0xD6 -> error " + transmitting, "get 0x10 0xD6 -> ok 2"}},
      {"two transmission errors: no third try",
       "monitors 0x20 0x10; get 0x10 fails " + transmitting,
       "Disconected\n",
       {"get 0x10 0xD6 -> error " + transmitting, "get 0x10 0xD6 -> error " + transmitting},
       readFailed("an error in sending data over the I2C bus", transmitting)},
      {"a transmission error, then another error: no third try",
       "monitors 0x20 0x10; get 0x10 fails " + transmitting +
           " once; get 0x10 fails 0xC026258B once",
       "Disconected\n",
       {"get 0x10 0xD6 -> error " + transmitting, "get 0x10 0xD6 -> error 0xC026258B"},
       readFailed("a reply with a bad checksum", "0xC026258B")},
  };
  for (const QueryCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ScriptedRun run = runScripted(c.script, {"-q"});
    expectOutput(run, c.status, 0, c.err);
    EXPECT_EQ(run.calls, (enumeration("0x20 0x10") + c.reads + destroying({"0x10", "0x20"})));
  }

  // Handles are ordered as unsigned numbers, and one that repeats is one monitor.
  const ScriptedRun ordered =
      runScripted("monitors 0xFFFFFFFFFFFFFF00=1 0x18=3 0xFFFFFFFFFFFFFF00", {"-q"});
  expectOutput(ordered, "Error, status answer: 3\n", 0);
  EXPECT_EQ(ordered.calls,
            (enumeration("0xFFFFFFFFFFFFFF00 0x18 0xFFFFFFFFFFFFFF00") +
             Calls{"get 0x18 0xD6 -> ok 3"} + destroying({"0x18", "0xFFFFFFFFFFFFFF00"})));

  const std::tuple<std::string, Calls, std::string> withoutMonitor[] = {
      {"count fails 120",
       {"count " + kDisplay + " -> error 0x78"},
       displayMonitorFailed("GetNumberOfPhysicalMonitorsFromHMONITOR", "Call not implemented.",
                            "0x00000078")},
      {"monitors 0x10 0x20; fill fails 0xC02625E6",
       {"count " + kDisplay + " -> ok 2", "fill " + kDisplay + " 2 -> error 0xC02625E6"},
       displayMonitorFailed("GetPhysicalMonitorsFromHMONITOR", "the array is too small",
                            "0xC02625E6")},
      {"monitors", enumeration(""), expected::kNoPhysicalMonitor},
  };
  for (const auto& [script, calls, err] : withoutMonitor) {
    SCOPED_TRACE(script);
    const ScriptedRun run = runScripted(script, {"-q"});
    expectOutput(run, noMonitor, 0, err);
    EXPECT_EQ(run.calls, calls);
  }
}

TEST(Dxva2BackendTest, EveryModeGoesToEveryMonitorOnceAndAFailingOneStopsNoOther) {
  const std::pair<const char*, const char*> modes[] = {
      {"On", "1"}, {"Standby", "2"}, {"Suspend", "3"}, {"Off", "4"}, {"HardOff", "5"}};
  for (const auto& [name, code] : modes) {
    SCOPED_TRACE(name);
    const std::string set = std::string(" 0xD6 ") + code + " -> ";
    const ScriptedRun run =
        runScripted("monitors 0x30 0x10 0x30 0x20; set 0x20 fails 0xC026258D", {"-p", name});
    expectOutput(
        run, echo(name), 0,
        physicalMonitorFailed(4, 4, "SetVCPFeature", "the monitor no longer exists", "0xC026258D"));
    EXPECT_EQ(run.calls, (enumeration("0x30 0x10 0x30 0x20") +
                          Calls{"set 0x10" + set + "ok", "set 0x20" + set + "error 0xC026258D",
                                "set 0x30" + set + "ok"} +
                          destroying({"0x10", "0x20", "0x30"})));
  }
}

TEST(Dxva2BackendTest, ACommandThatFailsInTransmissionIsSentOnceMore) {
  const std::string transmitting = "0xC0262582";
  const auto setFailed = [](const std::string& words, const std::string& code) {
    return physicalMonitorFailed(1, 2, "SetVCPFeature", words, code);
  };
  const std::tuple<std::string, Calls, std::string> cases[] = {
      {"set 0x10 fails " + transmitting + " once",
       {"set 0x10 0xD6 4 -> error " + transmitting, "set 0x10 0xD6 4 -> ok"},
       ""},
      {"set 0x10 fails " + transmitting,
       {"set 0x10 0xD6 4 -> error " + transmitting, "set 0x10 0xD6 4 -> error " + transmitting},
       setFailed("an error in sending data over the I2C bus", transmitting)},
      {"set 0x10 fails 0xC0262583 once",
       {"set 0x10 0xD6 4 -> error 0xC0262583"},
       setFailed("an error in receiving data over the I2C bus", "0xC0262583")},
  };
  for (const auto& [failure, sets, err] : cases) {
    SCOPED_TRACE(failure);
    const ScriptedRun run = runScripted("monitors 0x10 0x20; " + failure, {"-p", "Off"});
    expectOutput(run, echo("Off"), 0, err);
    EXPECT_EQ(run.calls, (enumeration("0x10 0x20") + sets + Calls{"set 0x20 0xD6 4 -> ok"} +
                          destroying({"0x10", "0x20"})));
  }
}

TEST(Dxva2BackendTest, TheQueryRunsBeforeTheCommandEachWithItsOwnMonitorSet) {
  const Calls query =
      enumeration("0x20 0x10") + Calls{"get 0x10 0xD6 -> ok 1"} + destroying({"0x10", "0x20"});
  const auto command = [](const char* code) {
    const std::string set = std::string(" 0xD6 ") + code + " -> ok";
    return enumeration("0x20 0x10") + Calls{"set 0x10" + set, "set 0x20" + set} +
           destroying({"0x10", "0x20"});
  };
  const std::pair<std::vector<std::string>, std::string> orders[] = {
      {{"-p", "Off", "-q"}, echo("Off") + "On\n"},
      {{"-q", "-p", "Off"}, echo("Off") + "On\n"},
  };
  for (const auto& [arguments, out] : orders) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const ScriptedRun run = runScripted("monitors 0x20 0x10", arguments);
    expectOutput(run, out, 0);
    EXPECT_EQ(run.calls, query + command("4"));
  }
  const ScriptedRun repeated =
      runScripted("monitors 0x20 0x10", {"-q", "-p", "On", "-q", "-p", "HardOff"});
  expectOutput(repeated, echo("On") + echo("HardOff") + "On\n", 0);
  EXPECT_EQ(repeated.calls, query + command("5"));
}

TEST(Dxva2BackendTest, ABadArgumentEndsTheRunBeforeAnyMonitorIsTouched) {
  const std::vector<std::string> bad[] = {
      {"-x"}, {"-q", "-x"}, {"-p", "off"}, {"-p", "Off", "-p"}, {"-t", "-p", "Off", "-z"}};
  for (const std::vector<std::string>& arguments : bad) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    const ScriptedRun run = runScripted("monitors 0x10", arguments);
    ASSERT_TRUE(run.result.started);
    EXPECT_EQ(run.result.exitStatus, kUsageExitStatus);
    expectWellBehaved(run);
    EXPECT_EQ(run.loads, std::vector<std::string>());
    EXPECT_EQ(run.calls, Calls());
  }
}
}  // namespace
}  // namespace kelvane::dxva2_test
