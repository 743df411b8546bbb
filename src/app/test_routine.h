// SPDX-License-Identifier: MIT
// The "-t" routine: walks every monitor through each power mode, slowly enough
// for a person to watch the screens, and prints what the first one reports.
#pragma once

#include <ostream>

#include "monitors/monitors.h"

namespace kelvane {

// Takes about 67 seconds. Failures go to the reporter, when there is one.
// Returns the exit status: 0, or that of an interruption (see
// monitors/interruption.h), which stops it where it is: nothing more is
// printed, and every monitor that was sent another mode is sent On again.
int runTestRoutine(std::ostream& out, FailureReporter* reporter = nullptr);

}  // namespace kelvane
