// SPDX-License-Identifier: MIT
#include <windows.h>

#include "monitors/interruption.h"

namespace kelvane::interruption {
namespace {

// What a console program's exit status is after Ctrl+C.
constexpr DWORD kControlCExit = 0xC000013A;

// Set by the console handler, which Windows runs on a thread of its own.
volatile LONG gRequested = 0;
volatile LONG gRestoring = 0;
// Signalled by the handler: wakes a rest() under way.
HANDLE gWake = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (InterlockedCompareExchange(&gRestoring, 0, 0) != 0) {
    TerminateProcess(GetCurrentProcess(), kControlCExit);
  }
  InterlockedExchange(&gRequested, 1);
  if (gWake != nullptr) {
    SetEvent(gWake);
  }
  switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Windows ends the process as soon as this returns (and after a few
      // seconds in any case): hold it here while the run puts the monitors
      // back on and exits by itself.
      Sleep(INFINITE);
      return TRUE;
    default:
      return TRUE;  // Ctrl+C, Ctrl+Break: handled, the run stops by itself
  }
}

}  // namespace

void watch() {
  if (gWake == nullptr) {
    gWake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool requested() {
  return InterlockedCompareExchange(&gRequested, 0, 0) != 0;
}

int exitStatus() {
  return requested() ? static_cast<int>(kControlCExit) : 0;
}

void requestForClosedOutput() {
  InterlockedExchange(&gRequested, 1);
}

void rest(std::chrono::milliseconds duration) {
  if (requested()) {
    return;
  }
  if (gWake == nullptr) {
    Sleep(static_cast<DWORD>(duration.count()));
    return;
  }
  WaitForSingleObject(gWake, static_cast<DWORD>(duration.count()));
}

void beginRestoring() {
  InterlockedExchange(&gRestoring, 1);
}

bool mayCommand() {
  return !requested() || InterlockedCompareExchange(&gRestoring, 0, 0) != 0;
}

void forgetForTests() {
  InterlockedExchange(&gRequested, 0);
  InterlockedExchange(&gRestoring, 0);
  if (gWake != nullptr) {
    ResetEvent(gWake);
  }
}

}  // namespace kelvane::interruption
