// SPDX-License-Identifier: MIT
// What a run needs of its own process before it opens anything: the standard
// descriptors in place, and a reader that goes away costing only the output.
#pragma once

namespace kelvane {

// Call first thing in main. A program started with a standard descriptor
// closed (`kelvane -q >&-`, as some hotkey daemons and services start
// programs) would otherwise hand that number to the next open(): a display's
// bus device, which would then receive the status line or a diagnostic as
// I2C traffic. A closed standard output must not stop a command the
// arguments asked for either: its writes fail and the run goes on. Then
// interruptions (Ctrl+C, kill, a closed console) are watched for.
void prepareProcess();

}  // namespace kelvane
