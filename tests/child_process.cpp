#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>

// POSIX leaves this declaration to the program; glibc makes it only under _GNU_SOURCE.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace kelvane::testing_support {
namespace {

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_.data(), O_CLOEXEC) != 0) {
      ends_ = {-1, -1};
    }
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  Pipe(Pipe&&) = delete;
  Pipe& operator=(Pipe&&) = delete;

  bool valid() const { return ends_[0] >= 0; }
  int readEnd() const { return ends_[0]; }
  int writeEnd() const { return ends_[1]; }
  void closeRead() { closeEnd(0); }
  void closeWrite() { closeEnd(1); }

 private:
  void closeEnd(int which) {
    if (ends_[which] >= 0) {
      close(ends_[which]);
      ends_[which] = -1;
    }
  }
  std::array<int, 2> ends_{-1, -1};
};

}  // namespace

ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  ChildResult result;
  Pipe out;
  Pipe err;
  if (!out.valid() || !err.valid() || argv.empty()) {
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), 1);
  posix_spawn_file_actions_adddup2(&actions, err.writeEnd(), 2);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  out.closeWrite();
  err.closeWrite();
  if (spawned != 0) {
    return result;
  }
  result.started = true;

  // Read until the child has exited and its pipes are drained. A grandchild
  // (Wine's server, say) may keep the pipes open long after, so the child's
  // exit, not the end of its output, ends the wait.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::array<pollfd, 2> fds{{{out.readEnd(), POLLIN, 0}, {err.readEnd(), POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  for (const pollfd& fd : fds) {
    fcntl(fd.fd, F_SETFL, fcntl(fd.fd, F_GETFL) | O_NONBLOCK);
  }
  const auto drain = [&] {
    for (std::size_t i = 0; i < fds.size(); ++i) {
      char buffer[4096];
      ssize_t got = 0;
      while (fds[i].fd >= 0 && (got = read(fds[i].fd, buffer, sizeof buffer)) > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
        if (sinks[i] == &result.out) {
          const auto now = std::chrono::steady_clock::now();
          result.outLineArrivals.insert(result.outLineArrivals.end(),
                                        std::count(buffer, buffer + got, '\n'), now);
        }
      }
      if (got == 0) {
        fds[i].fd = -1;  // end of file: poll ignores negative descriptors
      }
    }
  };
  int status = 0;
  for (;;) {
    drain();
    if (waitpid(pid, &status, WNOHANG) == pid) {
      drain();
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    poll(fds.data(), fds.size(), 20);
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace kelvane::testing_support
