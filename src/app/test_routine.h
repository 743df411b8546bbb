// The "-t" routine: walks every monitor through each power mode, slowly enough
// for a person to watch the screens, and prints what the first one reports.
#pragma once

#include <ostream>

namespace kelvane {

// Takes about 67 seconds.
void runTestRoutine(std::ostream& out);

}  // namespace kelvane
