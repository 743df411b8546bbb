// SPDX-License-Identifier: MIT
// EmulatedDesktop::runAll: several processes at once, while the GLib main
// loop answers the displays. Each process is a testing_support::Child, its
// pipes and its end watched by the loop.
#include <glib-unix.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "emulated_desktop.h"

namespace kelvane::emulation {
namespace {

struct Session;

// One launch while the main loop spins.
struct Running {
  Session* session = nullptr;
  std::size_t index = 0;
  testing_support::Child child;
  bool done = false;  // ended, or never started
  bool printed = false;
  int openStreams = 2;
};

// Every launch of one runAll(), started in order.
struct Session {
  GMainLoop* loop = nullptr;
  std::vector<Launch> launches;
  std::vector<std::unique_ptr<Running>> runs;
  std::size_t started = 0;
  std::size_t running = 0;
  bool delaying = false;
  guint delayTimer = 0;
  std::string executable;
  std::string launcher;

  void startMore();
  bool start(Running& run);
  bool printedByFirst(const std::string& line) {
    for (const OutputLine& printed : runs.front()->child.result().lines) {
      if (printed.text == line) {
        return true;
      }
    }
    return false;
  }
  void ended(const Running& run) {
    if (run.done && run.openStreams == 0) {
      --running;
      startMore();  // a holder that ended without a word holds nothing back
    }
  }
};

gboolean onStream(gint, GIOCondition, gpointer data, bool isOut) {
  Running& run = *static_cast<Running*>(data);
  const std::size_t lines = run.child.result().lines.size();
  if (isOut ? run.child.readOut() : run.child.readErr()) {
    if (isOut && run.child.result().lines.size() > lines) {
      run.printed = true;
      run.session->startMore();
    }
    return G_SOURCE_CONTINUE;
  }
  --run.openStreams;
  run.session->ended(run);
  return G_SOURCE_REMOVE;
}

gboolean onStdout(gint fd, GIOCondition condition, gpointer data) {
  return onStream(fd, condition, data, true);
}

gboolean onStderr(gint fd, GIOCondition condition, gpointer data) {
  return onStream(fd, condition, data, false);
}

// The child's pidfd became readable: it has ended.
gboolean onPidfd(gint fd, GIOCondition, gpointer data) {
  Running& run = *static_cast<Running*>(data);
  run.child.reap(true);
  close(fd);
  run.done = true;
  run.session->ended(run);
  return G_SOURCE_REMOVE;
}

void onChildWatch(GPid, gint, gpointer data) {
  Running& run = *static_cast<Running*>(data);
  run.child.reap(true);
  run.done = true;
  run.session->ended(run);
}

bool Session::start(Running& run) {
  const Launch& launch = launches[run.index];
  std::vector<std::string> argv;
  if (!launch.otherProgram) {
    // A launcher such as scripts/memcheck goes in front; it must pass the
    // program's output and status through.
    if (!launcher.empty()) {
      argv.push_back(launcher);
    }
    argv.push_back(executable);
  }
  argv.insert(argv.end(), launch.arguments.begin(), launch.arguments.end());
  testing_support::ChildOptions options;
  options.searchPath = launch.otherProgram;
  options.closedDescriptors = launch.closedDescriptors;
  options.linesRead = launch.linesRead;
  if (!run.child.start(argv, options)) {
    return false;
  }
  const auto watched = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
  g_unix_fd_add(run.child.outDescriptor(), watched, onStdout, &run);
  g_unix_fd_add(run.child.errDescriptor(), watched, onStderr, &run);
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, run.child.pid(), 0));
  if (pidfd >= 0) {
    g_unix_fd_add(pidfd, G_IO_IN, onPidfd, &run);
  } else {
    g_child_watch_add(run.child.pid(), onChildWatch, &run);
  }
  return true;
}

gboolean onDelayOver(gpointer data) {
  Session& session = *static_cast<Session*>(data);
  session.delaying = false;
  session.delayTimer = 0;
  session.launches[session.started].delay = std::chrono::milliseconds{0};
  session.startMore();
  return G_SOURCE_REMOVE;
}

void Session::startMore() {
  while (started < launches.size() && !delaying) {
    if (started > 0) {
      const Running& previous = *runs[started - 1];
      if (launches[started - 1].holdOthersUntilItPrints && !previous.printed &&
          !(previous.done && previous.openStreams == 0)) {
        return;
      }
    }
    if (!launches[started].afterLine.empty() && !printedByFirst(launches[started].afterLine)) {
      return;
    }
    if (launches[started].delay.count() > 0) {
      delaying = true;
      delayTimer =
          g_timeout_add(static_cast<guint>(launches[started].delay.count()), onDelayOver, this);
      return;
    }
    Running& run = *runs[started];
    ++started;
    const Launch& launch = launches[run.index];
    if (launch.signal != 0) {
      // When it happened, for the tests that time what follows.
      run.child.result().start = Clock::now();
      if (launch.signalled < run.index && runs[launch.signalled]->child.pid() > 0 &&
          !runs[launch.signalled]->done) {
        kill(runs[launch.signalled]->child.pid(), launch.signal);
      }
      run.done = true;
      run.openStreams = 0;
    } else if (start(run)) {
      ++running;
    } else {
      run.done = true;
      run.openStreams = 0;
    }
  }
  if (running == 0 && !delaying) {
    g_main_loop_quit(loop);
  }
}

gboolean onTimeout(gpointer data) {
  Session& session = *static_cast<Session*>(data);
  for (const std::unique_ptr<Running>& run : session.runs) {
    if (run->child.result().started && !run->done) {
      run->child.result().timedOut = true;
      run->child.kill();
    }
  }
  // Whatever was still waiting to start never will.
  session.started = session.launches.size();
  session.delaying = false;
  return G_SOURCE_REMOVE;
}

}  // namespace

RunResult EmulatedDesktop::run(const std::vector<std::string>& arguments,
                               std::chrono::milliseconds timeout) {
  Launch launch;
  launch.arguments = arguments;
  return runAll({launch}, timeout).front();
}

std::vector<RunResult> EmulatedDesktop::runAll(const std::vector<Launch>& launches,
                                               std::chrono::milliseconds timeout) {
  Session session;
  session.launches = launches;
  for (std::size_t i = 0; i < launches.size(); ++i) {
    session.runs.push_back(std::make_unique<Running>());
    session.runs.back()->session = &session;
    session.runs.back()->index = i;
  }
  const char* executable = std::getenv("KELVANE_EXE");
  const char* launcher = std::getenv("KELVANE_LAUNCHER");
  if (error_.empty() && executable != nullptr && !launches.empty()) {
    session.executable = executable;
    session.launcher = launcher != nullptr ? launcher : "";
    session.loop = g_main_loop_new(nullptr, FALSE);
    const guint timer = g_timeout_add(static_cast<guint>(timeout.count()), onTimeout, &session);
    session.startMore();
    if (session.running > 0) {
      g_main_loop_run(session.loop);
    }
    // Sources of a timer that has fired are gone already.
    for (const guint source : {timer, session.delayTimer}) {
      GSource* pending = source != 0 ? g_main_context_find_source_by_id(nullptr, source) : nullptr;
      if (pending != nullptr) {
        g_source_destroy(pending);
      }
    }
    g_main_loop_unref(session.loop);
  }
  std::vector<RunResult> results;
  for (const std::unique_ptr<Running>& launched : session.runs) {
    results.push_back(launched->child.result());
  }
  return results;
}

}  // namespace kelvane::emulation
