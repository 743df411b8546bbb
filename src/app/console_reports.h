// SPDX-License-Identifier: MIT
// Every text Kelvane prints. Scripts parse the lines on standard output, so
// they are kept exactly as the program has always printed them, misspellings
// included; the lines for people go to standard error.
//
// Each line is flushed as soon as it is written: the test routine sleeps
// between lines and its progress must show while it does.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "monitors/monitors.h"
#include "monitors/power_mode.h"

namespace kelvane {

// The process exit status after the usage block (a POSIX shell sees 255).
inline constexpr int kUsageExitStatus = -1;

inline constexpr std::string_view kInvalidArgumentsLine = "Invalid arguments, please try again.";
inline constexpr std::string_view kPowerArgumentInvalidLine =
    "Power argument invalid, please try again.";

void printLine(std::ostream& out, std::string_view line);

// "Option: -p, value: Off"
void printEcho(std::ostream& out, std::string_view option, std::string_view value);

// "On" for 1, "Off" for 0, "Disconected" for a failed read, else the number.
std::string statusLine(StatusValue status);
void printStatus(std::ostream& out, StatusValue status);

void printUsage(std::ostream& out);

// The test routine's own lines. Each "Status" line comes before a status line.
inline constexpr std::string_view kTestRoutineStartLine = "Start test routine: ";
inline constexpr std::string_view kStatusHeadingLine = "Status";
inline constexpr std::string_view kTestRoutineEndLine = "End test routine: ";

// "Command: Standby ", the line before each command of the test routine. The
// routine's opening command has always said "ON", the others the mode's name.
std::string testCommandLine(PowerMode mode, bool opening);

// The line on standard error that tells a person what failed and what to
// do: "kelvane: card0-DP-1 (/dev/i2c-5): no answer at ...; switch ...".
std::string failureLine(const platform::Failure& failure);

// The line on standard error after an interrupted test routine.
inline constexpr std::string_view kRoutineInterruptedLine =
    "kelvane: the test routine was interrupted; every monitor was sent On again";

// The line on standard error for one step of the platform, when tracing.
std::string traceLine(std::string_view step);

// Prints the usage block to standard output and ends the process with
// kUsageExitStatus through the normal exit path, so buffered output is flushed.
[[noreturn]] void printUsageAndExit();

}  // namespace kelvane
