// SPDX-License-Identifier: MIT
// What a run asks of its own process, each case in a child of its own: it
// closes standard descriptors and changes signal actions.
#include "app/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <set>

namespace kelvane {
namespace {

// Runs check in a forked child; true when it returned true.
bool inChild(const std::function<bool()>& check) {
  const pid_t child = fork();
  if (child == 0) {
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

bool isDevNull(int descriptor) {
  struct stat opened {};
  struct stat null {};
  return fstat(descriptor, &opened) == 0 && stat("/dev/null", &null) == 0 &&
         opened.st_rdev == null.st_rdev && S_ISCHR(opened.st_mode);
}

TEST(ProcessTest, ClosedStandardDescriptorsGetDevNullSoThatNoDeviceTakesTheirNumbers) {
  const std::set<int> cases[] = {{0}, {1}, {2}, {0, 2}, {0, 1, 2}};
  for (const std::set<int>& closed : cases) {
    SCOPED_TRACE(testing::Message() << closed.size() << " closed, the first " << *closed.begin());
    EXPECT_TRUE(inChild([&] {
      for (const int descriptor : closed) {
        close(descriptor);
      }
      prepareProcess();
      // What the run opens next, a bus device say, lands past them.
      const int device = open("/dev/zero", O_RDWR | O_CLOEXEC);
      bool ok = device > STDERR_FILENO;
      for (const int descriptor : closed) {
        ok = ok && isDevNull(descriptor);
      }
      return ok;
    }));
  }
}

TEST(ProcessTest, AWriteToAPipeWithoutReaderFailsInsteadOfEndingTheRun) {
  EXPECT_TRUE(inChild([] {
    prepareProcess();
    int ends[2];
    if (pipe(ends) != 0) {
      return false;
    }
    close(ends[0]);
    const char line[] = "On\n";
    return write(ends[1], line, sizeof line - 1) < 0 && errno == EPIPE;
  }));
}

}  // namespace
}  // namespace kelvane
