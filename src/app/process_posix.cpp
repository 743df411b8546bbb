// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "app/process.h"
#include "monitors/interruption.h"

namespace kelvane {

void prepareProcess() {
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) {
      continue;
    }
    // An open takes the lowest free number: this one, as the lower ones are
    // open by now. The system call itself, so that a library that wraps
    // open() (an LD_PRELOAD shim) cannot take the number for a descriptor of
    // its own first. Without a /dev/null there is nothing safe to put there.
    const long placeholder = syscall(SYS_openat, AT_FDCWD, "/dev/null",
                                     descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (placeholder >= 0 && placeholder != descriptor) {
      close(static_cast<int>(placeholder));
    }
  }
  // A write to a pipe whose reader has gone then fails with EPIPE instead of
  // killing the process in the middle of its commands.
  static_cast<void>(signal(SIGPIPE, SIG_IGN));
  interruption::watch();
}

}  // namespace kelvane
