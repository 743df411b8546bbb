// kelvane.exe under Wine against physical monitors that answer: the Windows
// backend and the program above it, end to end, through the scripted dxva2
// stand-in (tests/windows/dxva2) that the Wine prefix loads instead of Wine's
// own. Each case checks the exact output and exit status, and the stand-in's
// log of every dxva2 call.
//
// Environment: that of kelvane_process.h (the executable and its launcher),
// WINEPREFIX (a prefix made by tests/windows/wine-prefix with the stand-in
// installed), and
//   KELVANE_DXVA2_STAND_IN  the stand-in DLL, to plant beside a copy of the
//                           executable (only for the DLL planting case)
//
// The suite Dxva2BasicsTest is what the slow run of the 32-bit release
// program repeats under emulation; everything else runs with the 64-bit one.
#include <gtest/gtest.h>
#include <stdlib.h>  // setenv

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "expected_texts.h"
#include "kelvane_process.h"
#include "temporary_folder.h"

namespace kelvane {
namespace {

using expected::echo;
using testing_support::ChildResult;
using testing_support::environment;
using testing_support::kUsageExitStatus;
using testing_support::lineEnds;
using testing_support::runKelvane;
using testing_support::TemporaryFolder;

using Calls = std::vector<std::string>;

// The one display monitor Wine reports.
const std::string kDisplay = "0x1";

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Wine's drive Z: is the root of the file system.
std::string windowsPath(const std::filesystem::path& path) {
  std::string converted = "Z:" + path.string();
  std::replace(converted.begin(), converted.end(), '/', '\\');
  return converted;
}

struct ScriptedRun {
  ChildResult result;
  // The "load" lines: which copies of dxva2.dll the process loaded.
  std::vector<std::string> loads;
  // Every other line of the stand-in's log, in order.
  Calls calls;
};

// Runs the executable with the stand-in playing the script.
ScriptedRun runScripted(const std::string& script, const std::vector<std::string>& arguments,
                        const std::string& exe = "") {
  const TemporaryFolder scratch("kelvane-dxva2-");
  const std::filesystem::path log = scratch.path() / "dxva2.log";
  setenv("DXVA2_STAND_IN_SCRIPT", script.c_str(), 1);
  setenv("DXVA2_STAND_IN_LOG", windowsPath(log).c_str(), 1);
  ScriptedRun run{runKelvane(arguments, exe), {}, {}};
  std::ifstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    (line.compare(0, 5, "load ") == 0 ? run.loads : run.calls).push_back(line);
  }
  return run;
}

// What every run must show, whatever it was asked: stderr as expected, dxva2
// loaded from the system folder only and only if a call was made, no call
// the stand-in rejected as made with a handle that was not open, and every
// handle of a monitor set destroyed exactly once before the next set is
// enumerated and before the program ends.
void expectWellBehaved(const ScriptedRun& run, const std::string& err = "") {
  EXPECT_EQ(run.result.err, lineEnds(err));
  for (const std::string& load : run.loads) {
    const std::string path = lowerCase(load.substr(5));
    EXPECT_TRUE(path == "c:\\windows\\system32\\dxva2.dll" ||
                path == "c:\\windows\\syswow64\\dxva2.dll")
        << load;
  }
  EXPECT_EQ(run.loads.size(), run.calls.empty() ? 0U : 1U) << testing::PrintToString(run.loads);

  std::set<std::string> open;
  for (const std::string& call : run.calls) {
    SCOPED_TRACE(call);
    EXPECT_EQ(call.find("-> error 0xC026258C"), std::string::npos) << "a handle that is not open";
    std::istringstream words(call);
    std::string name;
    words >> name;
    if (name == "count") {
      EXPECT_EQ(open, std::set<std::string>()) << "enumerated again before all were destroyed";
    } else if (name == "fill" && call.find("-> ok") != std::string::npos) {
      std::istringstream handles(call.substr(call.find("-> ok") + 5));
      for (std::string handle; handles >> handle;) {
        open.insert(handle);
      }
    } else if (name == "destroy") {
      std::string handle;
      words >> handle;
      EXPECT_EQ(open.erase(handle), 1U) << "destroyed twice, or never opened";
    }
  }
  EXPECT_EQ(open, std::set<std::string>()) << "never destroyed";
}

Calls enumeration(const std::string& handles) {
  std::istringstream words(handles);
  std::size_t count = 0;
  for (std::string handle; words >> handle;) {
    ++count;
  }
  const std::string filled = "fill " + kDisplay + " " + std::to_string(count) + " -> ok";
  return {"count " + kDisplay + " -> ok " + std::to_string(count),
          handles.empty() ? filled : filled + " " + handles};
}

Calls destroying(const std::vector<std::string>& handles) {
  Calls calls;
  for (const std::string& handle : handles) {
    calls.push_back("destroy " + handle + " -> ok");
  }
  return calls;
}

Calls operator+(Calls first, const Calls& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

void expectOutput(const ScriptedRun& run, const std::string& out, int exitStatus,
                  const std::string& err = "") {
  ASSERT_TRUE(run.result.started) << "set KELVANE_EXE to kelvane.exe";
  ASSERT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.out, lineEnds(out));
  EXPECT_EQ(run.result.exitStatus, exitStatus);
  expectWellBehaved(run, err);
}

// What standard error says of a failing call. The stand-in names each
// physical monitor after its place in the fill; Wine's one display monitor
// is \\.\DISPLAY1 at 0,0, 1024x768.
const std::string kDisplayName = "\\\\.\\DISPLAY1 at 0,0 (1024x768)";

std::string physicalMonitorFailed(int place, int of, const std::string& call,
                                  const std::string& words, const std::string& code) {
  return "kelvane: \"Stand-in monitor " + std::to_string(place) + "\", physical monitor " +
         std::to_string(place) + " of " + std::to_string(of) + " on " + kDisplayName + ": " + call +
         " failed" + (words.empty() ? "" : ": " + words) + " (" + code +
         "); check that DDC/CI is on in the monitor's menu and that it is awake\n";
}

std::string displayMonitorFailed(const std::string& call, const std::string& words,
                                 const std::string& code) {
  return "kelvane: display monitor " + kDisplayName + ": " + call + " failed: " + words + " (" +
         code + "); see Troubleshooting in the README\n";
}

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

TEST(Dxva2BackendTest, ADxva2BesideTheProgramIsNotLoaded) {
  const std::string standIn = environment("KELVANE_DXVA2_STAND_IN");
  ASSERT_FALSE(standIn.empty()) << "set KELVANE_DXVA2_STAND_IN to the stand-in DLL";
  // A download folder with the program and a planted dxva2.dll: this copy of
  // the stand-in logs its own path when something loads it.
  const TemporaryFolder downloads("kelvane-dxva2-");
  std::error_code error;
  std::filesystem::copy_file(environment("KELVANE_EXE"), downloads.path() / "kelvane.exe", error);
  ASSERT_FALSE(error) << error.message();
  std::filesystem::copy_file(standIn, downloads.path() / "dxva2.dll", error);
  ASSERT_FALSE(error) << error.message();

  const ScriptedRun run =
      runScripted("monitors 0x10=1", {"-q"}, (downloads.path() / "kelvane.exe").string());
  expectOutput(run, "On\n", 0);
  // expectWellBehaved has checked that each load is from the system folder.
  EXPECT_EQ(run.loads.size(), 1U);
  EXPECT_EQ(run.calls, enumeration("0x10") + Calls{"get 0x10 0xD6 -> ok 1"} + destroying({"0x10"}));
}

TEST(Dxva2BackendTest, WithoutADxva2ToLoadThereIsNoMonitorAndTheLoadFailureIsTold) {
  // Wine's own switch: the DLL is not to be loaded at all.
  const std::string overrides = environment("WINEDLLOVERRIDES");
  setenv("WINEDLLOVERRIDES", (overrides + (overrides.empty() ? "" : ";") + "dxva2=d").c_str(), 1);
  const ScriptedRun run = runScripted("monitors 0x10=1", {"-q", "-p", "Off"});
  setenv("WINEDLLOVERRIDES", overrides.c_str(), 1);

  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.out, lineEnds(echo("Off") + "Error, status answer: -2\n"));
  EXPECT_EQ(run.result.exitStatus, 0);
  EXPECT_EQ(run.loads, std::vector<std::string>());
  EXPECT_EQ(run.calls, Calls());
  // Told once, although the query and the command each looked: the code is
  // ERROR_MOD_NOT_FOUND, with whatever words the system has for it.
  const std::string prefix =
      "kelvane: display monitor " + kDisplayName + ": LoadLibraryExW(dxva2.dll) failed";
  const std::string suffix = lineEnds(" (0x0000007E); see Troubleshooting in the README\n");
  const std::string& err = run.result.err;
  EXPECT_EQ(err.compare(0, prefix.size(), prefix), 0) << err;
  ASSERT_GE(err.size(), suffix.size()) << err;
  EXPECT_EQ(err.compare(err.size() - suffix.size(), suffix.size(), suffix), 0) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(Dxva2BackendTest, KelvaneTraceOneTracesEveryCallWithItsResultAndTime) {
  setenv("KELVANE_TRACE", "1", 1);
  const ScriptedRun run =
      runScripted("monitors 0x20 0x10=2; set 0x20 fails 0xC026258D", {"-q", "-p", "Off"});
  unsetenv("KELVANE_TRACE");
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.out, lineEnds(echo("Off") + "Error, status answer: 2\n"));
  // The durations vary: "N ms".
  const std::string err = std::regex_replace(run.result.err, std::regex("[0-9]+ ms"), "N ms");
  const std::string monitors =
      "kelvane: trace: display monitor 0x1: " + kDisplayName + "\n" +
      "kelvane: trace: LoadLibraryExW(dxva2.dll, system folder) -> loaded\n" +
      "kelvane: trace: GetNumberOfPhysicalMonitorsFromHMONITOR(0x1) -> TRUE, N ms\n" +
      "kelvane: trace:   2 physical monitors\n" +
      "kelvane: trace: GetPhysicalMonitorsFromHMONITOR(0x1, 2) -> TRUE, N ms\n" +
      "kelvane: trace:   0x20: \"Stand-in monitor 1\", physical monitor 1 of 2 on " + kDisplayName +
      "\n" + "kelvane: trace:   0x10: \"Stand-in monitor 2\", physical monitor 2 of 2 on " +
      kDisplayName + "\n" + "kelvane: trace: EnumDisplayMonitors -> TRUE, N ms\n";
  const std::string destroyed =
      "kelvane: trace: DestroyPhysicalMonitor(0x10) -> TRUE, N ms\n"
      "kelvane: trace: DestroyPhysicalMonitor(0x20) -> TRUE, N ms\n";
  // Wine's loader finds dxva2 once: the second enumeration loads nothing.
  std::string second = monitors;
  second.erase(
      second.find("kelvane: trace: LoadLibraryExW"),
      std::string("kelvane: trace: LoadLibraryExW(dxva2.dll, system folder) -> loaded\n").size());
  EXPECT_EQ(err, lineEnds(monitors +
                          "kelvane: trace: GetVCPFeatureAndVCPFeatureReply(0x10, 0xD6) -> TRUE, "
                          "N ms\n"
                          "kelvane: trace:   current 2, maximum 5\n" +
                          destroyed + second +
                          "kelvane: trace: SetVCPFeature(0x10, 0xD6, 4) -> TRUE, N ms\n"
                          "kelvane: trace: SetVCPFeature(0x20, 0xD6, 4) -> FALSE, error "
                          "0xC026258D, N ms\n" +
                          physicalMonitorFailed(1, 2, "SetVCPFeature",
                                                "the monitor no longer exists", "0xC026258D") +
                          destroyed));
}

// The test routine in real time, about 67 s.
TEST(Dxva2RoutineTest, WalksEveryMonitorThroughEveryModeAndPrintsEachLineBeforeItsSleep) {
  const ScriptedRun run = runScripted("monitors 0x20 0x10", {"-t"});
  ASSERT_TRUE(run.result.started);
  ASSERT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitStatus, 0);
  expectWellBehaved(run);

  // Each line with the sleep that follows it, in ms.
  std::vector<std::pair<std::string, int>> lines{
      {"Start test routine: ", 0}, {"Status", 0}, {"On", 1000}};
  const std::pair<const char*, const char*> steps[] = {
      {"Command: ON ", "On"},
      {"Command: Standby ", "Error, status answer: 2"},
      {"Command: Suspend ", "Error, status answer: 3"},
      {"Command: Off ", "Error, status answer: 4"},
      {"Command: HardOff ", "Error, status answer: 5"},
      {"Command: On ", "On"}};
  for (const auto& [label, status] : steps) {
    lines.insert(lines.end(),
                 {{label, 5000}, {"Status", 0}, {status, 5000}, {"Status", 0}, {status, 1000}});
  }
  lines.emplace_back("End test routine: ", 0);
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
}  // namespace kelvane
