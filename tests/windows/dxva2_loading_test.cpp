// SPDX-License-Identifier: MIT
// Where kelvane.exe loads dxva2 from, what it says when there is none to
// load, and its trace of every call: under Wine, with the dxva2 stand-in.
#include <gtest/gtest.h>
#include <stdlib.h>  // setenv

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "dxva2_scripted_run.h"
#include "expected_texts.h"
#include "kelvane_process.h"
#include "temporary_folder.h"

namespace kelvane::dxva2_test {
namespace {

using expected::echo;
using testing_support::environment;
using testing_support::lineEnds;
using testing_support::TemporaryFolder;

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
  const std::string suffix = lineEnds(" (0x0000007E); " + expected::kSeeTheReadme + "\n");
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

}  // namespace
}  // namespace kelvane::dxva2_test
