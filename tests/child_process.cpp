// SPDX-License-Identifier: MIT
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

// POSIX leaves this declaration to the program; glibc makes it only under _GNU_SOURCE.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace kelvane::testing_support {
namespace {

// Owns the two ends of a pipe until they are handed on.
class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_.data(), O_CLOEXEC) != 0) {
      ends_ = {-1, -1};
    }
  }
  ~Pipe() {
    for (const int end : ends_) {
      if (end >= 0) {
        close(end);
      }
    }
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  Pipe(Pipe&&) = delete;
  Pipe& operator=(Pipe&&) = delete;

  bool valid() const { return ends_[0] >= 0; }
  int writeEnd() const { return ends_[1]; }
  int takeReadEnd() { return std::exchange(ends_[0], -1); }

 private:
  std::array<int, 2> ends_{-1, -1};
};

std::chrono::microseconds timeOf(const timeval& value) {
  return std::chrono::seconds(value.tv_sec) + std::chrono::microseconds(value.tv_usec);
}

}  // namespace

Child::~Child() {
  for (const int descriptor : {out_, err_}) {
    if (descriptor >= 0) {
      close(descriptor);
    }
  }
}

// The child starts through posix_spawn, not fork: a test process may run
// other threads (umockdev's, with its preload library), and a forked child
// that calls a wrapped function before its exec can block forever on a lock
// another thread held at the fork. posix_spawn's child makes only raw system
// calls.
bool Child::start(const std::vector<std::string>& argv, const ChildOptions& options) {
  options_ = options;
  Pipe out;
  Pipe err;
  if (!out.valid() || !err.valid() || argv.empty()) {
    return false;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& argument : argv) {
    args.push_back(const_cast<char*>(argument.c_str()));
  }
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.writeEnd(), STDERR_FILENO);
  for (const int closed : options.closedDescriptors) {
    posix_spawn_file_actions_addclose(&actions, closed);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // An ignored signal stays ignored across exec, and test frameworks (GLib)
  // ignore SIGPIPE.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  result_.start = Clock::now();
  const int failed = options.searchPath
                         ? posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ)
                         : posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    pid_ = -1;
    return false;
  }
  result_.processGroup = pid_;
  out_ = out.takeReadEnd();
  err_ = err.takeReadEnd();
  for (const int descriptor : {out_, err_}) {
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
  }
  result_.started = true;
  return true;
}

bool Child::readOut() {
  return read(out_, true);
}

bool Child::readErr() {
  return read(err_, false);
}

bool Child::read(int& descriptor, bool isOut) {
  if (descriptor < 0) {
    return false;
  }
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(descriptor, buffer, sizeof buffer)) > 0) {
    if (!isOut) {
      result_.err.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    const Clock::time_point now = Clock::now();
    for (ssize_t i = 0; i < got; ++i) {
      result_.out += buffer[i];
      if (buffer[i] != '\n') {
        partialLine_ += buffer[i];
        continue;
      }
      result_.lines.push_back(OutputLine{std::exchange(partialLine_, {}), now});
      if (result_.lines.size() == options_.linesRead) {
        got = 0;  // the reader stops here: what follows is never read
        break;
      }
    }
    if (got == 0) {
      break;
    }
  }
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
    return true;
  }
  if (isOut) {
    result_.outEnded = Clock::now();
    if (!partialLine_.empty()) {
      result_.lines.push_back(OutputLine{std::exchange(partialLine_, {}), result_.outEnded});
    }
  }
  close(descriptor);
  descriptor = -1;
  return false;
}

bool Child::reap(bool wait) {
  if (exited_ || pid_ < 0) {
    return exited_;
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid_, &status, wait ? 0 : WNOHANG, &usage) != pid_) {
    return false;
  }
  result_.end = Clock::now();
  result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result_.cpuTime = std::chrono::duration_cast<std::chrono::microseconds>(timeOf(usage.ru_utime) +
                                                                          timeOf(usage.ru_stime));
  exited_ = true;
  return true;
}

void Child::kill() const {
  if (pid_ > 0 && !exited_) {
    ::kill(-pid_, SIGKILL);
  }
}

ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     const ChildOptions& options) {
  Child child;
  if (!child.start(argv, options)) {
    return child.result();
  }
  // Read until the child has exited and its pipes are drained. A grandchild
  // (Wine's server, say) may keep the pipes open long after, so the child's
  // exit, not the end of its output, ends the wait.
  const Clock::time_point deadline = Clock::now() + timeout;
  bool signalled = options.signalOnLine == 0;
  for (;;) {
    child.readOut();
    child.readErr();
    for (const OutputLine& line : child.result().lines) {
      std::string text = line.text;
      if (!text.empty() && text.back() == '\r') {
        text.pop_back();  // a Windows program's line end
      }
      if (!signalled && text == options.signalledLine) {
        kill(child.pid(), options.signalOnLine);
        child.result().signalled = Clock::now();
        signalled = true;
      }
    }
    if (child.reap(false)) {
      child.readOut();
      child.readErr();
      break;
    }
    if (Clock::now() >= deadline) {
      child.result().timedOut = true;
      child.kill();
      child.reap(true);
      break;
    }
    std::array<pollfd, 2> fds{
        {{child.outDescriptor(), POLLIN, 0}, {child.errDescriptor(), POLLIN, 0}}};
    poll(fds.data(), fds.size(), 20);
  }
  return child.result();
}

}  // namespace kelvane::testing_support
