// SPDX-License-Identifier: MIT
#include "app/process.h"
#include "monitors/interruption.h"

namespace kelvane {

// Windows gives a process without a standard handle a CRT descriptor that is
// simply not open: writes to it fail and nothing else can take its number,
// since the monitors are reached through handles, never CRT descriptors.
// A closed pipe fails the write with an error, without a signal.
void prepareProcess() {
  interruption::watch();
}

}  // namespace kelvane
