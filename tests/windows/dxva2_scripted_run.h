// SPDX-License-Identifier: MIT
// Runs of kelvane.exe under Wine against the scripted dxva2 stand-in
// (tests/windows/dxva2), which the Wine prefix loads instead of Wine's own,
// and what every such run must show. The tests of the Windows backend, end to
// end, are built on these.
//
// Environment: that of kelvane_process.h (the executable and its launcher),
// WINEPREFIX (a prefix made by tests/windows/wine-prefix with the stand-in
// installed), and
//   KELVANE_DXVA2_STAND_IN  the stand-in DLL, to plant beside a copy of the
//                           executable (only for the DLL planting case)
#pragma once

#include <string>
#include <vector>

#include "kelvane_process.h"

namespace kelvane::dxva2_test {

using Calls = std::vector<std::string>;

// The one display monitor Wine reports.
inline const std::string kDisplay = "0x1";
// Its name in the failure lines and the trace: \\.\DISPLAY1 at 0,0, 1024x768.
inline const std::string kDisplayName = "\\\\.\\DISPLAY1 at 0,0 (1024x768)";

struct ScriptedRun {
  testing_support::ChildResult result;
  // The "load" lines: which copies of dxva2.dll the process loaded.
  std::vector<std::string> loads;
  // Every other line of the stand-in's log, in order.
  Calls calls;
};

// Runs the executable with the stand-in playing the script; exe replaces
// KELVANE_EXE when given.
ScriptedRun runScripted(const std::string& script, const std::vector<std::string>& arguments,
                        const std::string& exe = "",
                        const testing_support::ChildOptions& options = {});

// What every run must show, whatever it was asked: stderr as expected, dxva2
// loaded from the system folder only and only if a call was made, no call
// the stand-in rejected as made with a handle that was not open, and every
// handle of a monitor set destroyed exactly once before the next set is
// enumerated and before the program ends.
void expectWellBehaved(const ScriptedRun& run, const std::string& err = "");

// expectWellBehaved, with the output and the exit status.
void expectOutput(const ScriptedRun& run, const std::string& out, int exitStatus,
                  const std::string& err = "");

// The stand-in's log of an enumeration that fills these handles, in this
// order, behind Wine's one display monitor; and of destroying these.
Calls enumeration(const std::string& handles);
Calls destroying(const std::vector<std::string>& handles);
Calls operator+(Calls first, const Calls& second);

// What standard error says of a failing call. The stand-in names each
// physical monitor after its place in the fill.
std::string physicalMonitorFailed(int place, int of, const std::string& call,
                                  const std::string& words, const std::string& code);
std::string displayMonitorFailed(const std::string& call, const std::string& words,
                                 const std::string& code);

}  // namespace kelvane::dxva2_test
