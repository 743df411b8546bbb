#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "app/process.h"

namespace kelvane {

void prepareProcess() {
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) {
      continue;
    }
    // open() takes the lowest free number: this one. Without a /dev/null
    // there is nothing safe to put there, and the descriptor stays closed.
    const int placeholder = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (placeholder >= 0 && placeholder != descriptor) {
      close(placeholder);
    }
  }
  // A write to a pipe whose reader has gone then fails with EPIPE instead of
  // killing the process in the middle of its commands.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace kelvane
