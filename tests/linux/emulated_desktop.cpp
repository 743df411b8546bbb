#include "emulated_desktop.h"

#include <glib-unix.h>
#include <linux/i2c-dev.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace kelvane::emulation {
namespace {

std::string cardOf(const std::string& connector) {
  return connector.substr(0, connector.find('-'));
}

// One PCI display controller per card, so that each card has a path of its own.
std::string cardDevicePath(const std::string& card) {
  const unsigned long number = std::strtoul(card.c_str() + 4, nullptr, 10);
  std::ostringstream path;
  path << "/devices/pci0000:00/0000:00:" << std::hex << std::setw(2) << std::setfill('0')
       << 2 + number << ".0";
  return path.str();
}

// An I2C adapter at path and, unless the module is missing, its i2c-dev node.
std::string adapter(const std::string& path, unsigned bus, bool deviceNode) {
  const std::string name = "i2c-" + std::to_string(bus);
  std::string text = "P: " + path + "\nE: SUBSYSTEM=i2c\nA: name=DDC adapter\\n\n\n";
  if (deviceNode) {
    text += "P: " + path + "/i2c-dev/" + name + "\nN: " + name +
            "\nE: SUBSYSTEM=i2c-dev\nE: DEVNAME=/dev/" + name +
            "\nA: dev=89:" + std::to_string(bus) + "\\n\n\n";
  }
  return text;
}

bool busIsFreeOnThisMachine(unsigned bus) {
  return access(("/dev/i2c-" + std::to_string(bus)).c_str(), F_OK) != 0;
}

EmulatedDisplay* displayOf(gpointer data) {
  return static_cast<EmulatedDisplay*>(data);
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  const gulong request = umockdev_ioctl_client_get_request(client);
  int error = 0;
  if (request == I2C_SLAVE) {
    // The address travels by value: umockdev hands us the argument's bytes.
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    unsigned long address = 0;
    std::memcpy(&address, argument->data,
                std::min(sizeof address, static_cast<std::size_t>(argument->data_len)));
    error = displayOf(data)->selectAddress(address);
  } else {
    error = displayOf(data)->unexpectedIoctl(request);
  }
  umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
  return TRUE;
}

gboolean onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  const int error = displayOf(data)->write(
      argument->data, static_cast<std::size_t>(argument->data_len), Clock::now());
  umockdev_ioctl_client_complete(client, error == 0 ? argument->data_len : -1, error);
  return TRUE;
}

gboolean onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  ReadResult result =
      displayOf(data)->read(static_cast<std::size_t>(argument->data_len), Clock::now());
  if (result.error != 0) {
    umockdev_ioctl_client_complete(client, -1, result.error);
    return TRUE;
  }
  umockdev_ioctl_data_update(argument, 0, result.bytes.data(),
                             static_cast<gint>(result.bytes.size()));
  umockdev_ioctl_client_complete(client, static_cast<glong>(result.bytes.size()), 0);
  return TRUE;
}

void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer data) {
  displayOf(data)->opened();
}

// umockdev_in_mock_environment() answers only once a testbed exists; what
// matters here is whether the preload library is in place.
bool preloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// The state of one run while the main loop spins.
struct Run {
  RunResult result;
  GMainLoop* loop = nullptr;
  GPid pid = 0;
  bool exited = false;
  bool timerFired = false;
  int openPipes = 2;
  std::string partialLine;

  void finishIfDone() const {
    if (exited && openPipes == 0) {
      g_main_loop_quit(loop);
    }
  }
};

gboolean onOutput(gint fd, GIOCondition, gpointer data, bool isOut) {
  Run& run = *static_cast<Run*>(data);
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) {
    const Clock::time_point now = Clock::now();
    if (!isOut) {
      run.result.err.append(buffer, static_cast<std::size_t>(got));
      return G_SOURCE_CONTINUE;
    }
    run.result.out.append(buffer, static_cast<std::size_t>(got));
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n') {
        run.result.lines.push_back(OutputLine{run.partialLine, now});
        run.partialLine.clear();
      } else {
        run.partialLine += buffer[i];
      }
    }
    return G_SOURCE_CONTINUE;
  }
  if (got < 0 && errno == EINTR) {
    return G_SOURCE_CONTINUE;
  }
  close(fd);
  --run.openPipes;
  run.finishIfDone();
  return G_SOURCE_REMOVE;
}

gboolean onStdout(gint fd, GIOCondition condition, gpointer data) {
  return onOutput(fd, condition, data, true);
}

gboolean onStderr(gint fd, GIOCondition condition, gpointer data) {
  return onOutput(fd, condition, data, false);
}

void childEnded(Run& run, int status) {
  run.result.end = Clock::now();
  run.result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.exited = true;
  run.finishIfDone();
}

void onChildExit(GPid pid, gint status, gpointer data) {
  g_spawn_close_pid(pid);
  childEnded(*static_cast<Run*>(data), status);
}

// The child's pidfd became readable: it has ended. Reaping it ourselves
// gives its resource usage, which GLib's child watch does not.
gboolean onPidfd(gint fd, GIOCondition, gpointer data) {
  Run& run = *static_cast<Run*>(data);
  int status = 0;
  rusage usage{};
  if (wait4(run.pid, &status, 0, &usage) == run.pid) {
    const auto time = [](const timeval& value) {
      return std::chrono::seconds(value.tv_sec) + std::chrono::microseconds(value.tv_usec);
    };
    run.result.cpuTime = std::chrono::duration_cast<std::chrono::microseconds>(
        time(usage.ru_utime) + time(usage.ru_stime));
  }
  close(fd);
  childEnded(run, status);
  return G_SOURCE_REMOVE;
}

// The child leads a process group of its own, so that a hung run can be
// ended together with whatever it started (a launcher's program, say).
void leadOwnProcessGroup(gpointer) {
  setpgid(0, 0);
}

gboolean onTimeout(gpointer data) {
  Run& run = *static_cast<Run*>(data);
  run.timerFired = true;
  if (!run.exited) {
    run.result.timedOut = true;
    kill(-run.pid, SIGKILL);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace

struct EmulatedDesktop::Testbed {
  UMockdevTestbed* testbed = nullptr;
  std::vector<UMockdevIoctlBase*> handlers;

  Testbed() = default;
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;
  Testbed(Testbed&&) = delete;
  Testbed& operator=(Testbed&&) = delete;
  ~Testbed() {
    for (UMockdevIoctlBase* handler : handlers) {
      g_object_unref(handler);
    }
    if (testbed != nullptr) {
      g_object_unref(testbed);
    }
  }
};

EmulatedDesktop::EmulatedDesktop() : testbed_(std::make_unique<Testbed>()) {
  if (!preloaded()) {
    error_ = "not running under umockdev-wrapper";
    return;
  }
  testbed_->testbed = umockdev_testbed_new();
}

EmulatedDesktop::~EmulatedDesktop() = default;

void EmulatedDesktop::add(const std::string& description) {
  if (testbed_->testbed == nullptr) {
    return;
  }
  GError* failure = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_->testbed, description.c_str(), &failure)) {
    error_ = failure->message;
    g_error_free(failure);
  }
}

void EmulatedDesktop::attach(unsigned bus, EmulatedDisplay* display) {
  if (testbed_->testbed == nullptr || display == nullptr) {
    return;
  }
  const std::string name = "i2c-" + std::to_string(bus);
  display->journalTo(&journal_, name);
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  testbed_->handlers.push_back(handler);
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), display);
  g_signal_connect(handler, "handle-read", G_CALLBACK(onRead), display);
  g_signal_connect(handler, "handle-write", G_CALLBACK(onWrite), display);
  g_signal_connect(handler, "client-connected", G_CALLBACK(onConnected), display);
  GError* failure = nullptr;
  if (!umockdev_testbed_attach_ioctl(testbed_->testbed, ("/dev/" + name).c_str(), handler,
                                     &failure)) {
    error_ = failure->message;
    g_error_free(failure);
  }
}

void EmulatedDesktop::addConnector(const Connector& connector, EmulatedDisplay* display) {
  const std::string card = cardOf(connector.name);
  const std::string controller = cardDevicePath(card);
  const std::string path = controller + "/drm/" + card + "/" + connector.name;
  const std::string bus = "i2c-" + std::to_string(connector.bus);
  std::string text = "P: " + path + "\nE: SUBSYSTEM=drm\nA: status=" +
                     (connector.connected ? "connected" : "disconnected") +
                     "\\n\nA: enabled=" + (connector.connected ? "enabled" : "disabled") + "\\n\n";
  if (connector.link == BusLink::kDdcSymlink) {
    text += "L: ddc=../../../" + bus + "\n";
  }
  text += "\n";
  if (connector.link == BusLink::kDdcSymlink) {
    text += adapter(controller + "/" + bus, connector.bus, connector.deviceNode);
  } else if (connector.link == BusLink::kAuxChild) {
    text += adapter(path + "/" + bus, connector.bus, connector.deviceNode);
  }
  add(text);
  if (connector.link == BusLink::kNone) {
    return;
  }
  if (connector.deviceNode) {
    attach(connector.bus, display);
  } else if (!busIsFreeOnThisMachine(connector.bus)) {
    // umockdev passes a /dev path it does not emulate through to the real
    // one: the program would talk to a real display.
    error_ = "/dev/" + bus + " exists on this machine; use busWithoutRealNode()";
  }
}

void EmulatedDesktop::addOtherBus(unsigned bus, EmulatedDisplay* guard) {
  add(adapter("/devices/pci0000:00/0000:00:1f.4/i2c-" + std::to_string(bus), bus, true));
  attach(bus, guard);
}

RunResult EmulatedDesktop::run(const std::vector<std::string>& arguments,
                               std::chrono::milliseconds timeout) {
  Run run;
  const char* executable = std::getenv("KELVANE_EXE");
  if (!error_.empty() || executable == nullptr) {
    return run.result;
  }
  std::vector<gchar*> argv;
  // A launcher such as scripts/memcheck goes in front; it must pass the
  // program's output and status through.
  const char* launcher = std::getenv("KELVANE_LAUNCHER");
  if (launcher != nullptr && *launcher != '\0') {
    argv.push_back(const_cast<gchar*>(launcher));
  }
  argv.push_back(const_cast<gchar*>(executable));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<gchar*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  gint out = -1;
  gint err = -1;
  run.result.start = Clock::now();
  if (!g_spawn_async_with_pipes(nullptr, argv.data(), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                leadOwnProcessGroup, nullptr, &run.pid, nullptr, &out, &err,
                                nullptr)) {
    return run.result;
  }
  run.result.started = true;
  run.loop = g_main_loop_new(nullptr, FALSE);
  g_unix_fd_add(out, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onStdout, &run);
  g_unix_fd_add(err, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onStderr, &run);
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, run.pid, 0));
  if (pidfd >= 0) {
    g_unix_fd_add(pidfd, G_IO_IN, onPidfd, &run);
  } else {
    g_child_watch_add(run.pid, onChildExit, &run);
  }
  const guint timer = g_timeout_add(static_cast<guint>(timeout.count()), onTimeout, &run);
  g_main_loop_run(run.loop);
  if (!run.timerFired) {
    g_source_remove(timer);
  }
  g_main_loop_unref(run.loop);
  if (!run.partialLine.empty()) {
    run.result.lines.push_back(OutputLine{run.partialLine, run.result.end});
  }
  return run.result;
}

unsigned busWithoutRealNode() {
  unsigned bus = 240;
  while (!busIsFreeOnThisMachine(bus)) {
    ++bus;
  }
  return bus;
}

void runUnderUmockdev(int argc, char** argv) {
  if (preloaded()) {
    return;
  }
  std::vector<char*> wrapped{const_cast<char*>("umockdev-wrapper")};
  wrapped.insert(wrapped.end(), argv, argv + argc);
  wrapped.push_back(nullptr);
  execvp(wrapped[0], wrapped.data());
  const int error = errno;
  std::cerr << "cannot start umockdev-wrapper: " << std::strerror(error) << std::endl;
  std::exit(1);
}

}  // namespace kelvane::emulation
