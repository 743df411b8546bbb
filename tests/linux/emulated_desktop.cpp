#include "emulated_desktop.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <utility>

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

// A umockdump attribute value: newlines written as \n.
std::string escaped(const std::string& value) {
  std::string text;
  for (const char c : value) {
    text += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return text;
}

std::string hexBytes(const Bytes& bytes) {
  std::ostringstream text;
  for (const std::uint8_t byte : bytes) {
    text << std::hex << std::setw(2) << std::setfill('0') << static_cast<unsigned>(byte);
  }
  return text.str();
}

// An I2C adapter at path and, unless the module is missing, its i2c-dev node.
std::string adapter(const std::string& path, unsigned bus, bool deviceNode,
                    const std::string& name = "DDC adapter\n") {
  const std::string node = "i2c-" + std::to_string(bus);
  std::string text = "P: " + path + "\nE: SUBSYSTEM=i2c\nA: name=" + escaped(name) + "\n\n";
  if (deviceNode) {
    text += "P: " + path + "/i2c-dev/" + node + "\nN: " + node +
            "\nE: SUBSYSTEM=i2c-dev\nE: DEVNAME=/dev/" + node +
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

EmulatedDisplay::Client clientOf(UMockdevIoctlClient* client) {
  return reinterpret_cast<EmulatedDisplay::Client>(client);
}

// I2C_RDWR: the message array and each message's buffer live in the
// client's memory, fetched one pointer at a time.
int transferMessages(UMockdevIoctlClient* client, EmulatedDisplay& display) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  GError* failure = nullptr;
  UMockdevIoctlData* request =
      umockdev_ioctl_data_resolve(argument, 0, sizeof(i2c_rdwr_ioctl_data), &failure);
  if (request == nullptr) {
    g_error_free(failure);
    return EFAULT;
  }
  i2c_rdwr_ioctl_data header{};
  std::memcpy(&header, request->data, sizeof header);
  if (header.nmsgs == 0 || header.nmsgs > I2C_RDWR_IOCTL_MAX_MSGS) {
    return EINVAL;
  }
  UMockdevIoctlData* array = umockdev_ioctl_data_resolve(
      request, offsetof(i2c_rdwr_ioctl_data, msgs), header.nmsgs * sizeof(i2c_msg), &failure);
  if (array == nullptr) {
    g_error_free(failure);
    return EFAULT;
  }
  std::vector<I2cMessage> messages;
  std::vector<UMockdevIoctlData*> buffers;
  for (std::size_t i = 0; i < header.nmsgs; ++i) {
    i2c_msg message{};
    std::memcpy(&message, array->data + i * sizeof(i2c_msg), sizeof message);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        array, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), message.len, &failure);
    if (buffer == nullptr) {
      g_error_free(failure);
      return EFAULT;
    }
    const bool read = (message.flags & I2C_M_RD) != 0;
    messages.push_back(
        I2cMessage{message.addr, read,
                   read ? Bytes(message.len, 0) : Bytes(buffer->data, buffer->data + message.len)});
    buffers.push_back(buffer);
  }
  const int error = display.transfer(messages, Clock::now());
  for (std::size_t i = 0; error == 0 && i < messages.size(); ++i) {
    if (messages[i].read) {
      Bytes& bytes = messages[i].bytes;
      bytes.resize(buffers[i]->data_len, 0xFF);
      umockdev_ioctl_data_update(buffers[i], 0, bytes.data(), static_cast<gint>(bytes.size()));
    }
  }
  return error;
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  const gulong request = umockdev_ioctl_client_get_request(client);
  EmulatedDisplay& display = *displayOf(data);
  int error = 0;
  glong result = 0;
  if (request == I2C_SLAVE) {
    // The address travels by value: umockdev hands us the argument's bytes.
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    unsigned long address = 0;
    std::memcpy(&address, argument->data,
                std::min(sizeof address, static_cast<std::size_t>(argument->data_len)));
    error = display.selectAddress(clientOf(client), address);
  } else if (request == I2C_RDWR) {
    error = transferMessages(client, display);
    result = 1;
  } else {
    error = display.unexpectedIoctl(request);
  }
  umockdev_ioctl_client_complete(client, error == 0 ? result : -1, error);
  return TRUE;
}

gboolean onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  const int error = displayOf(data)->write(
      clientOf(client), argument->data, static_cast<std::size_t>(argument->data_len), Clock::now());
  umockdev_ioctl_client_complete(client, error == 0 ? argument->data_len : -1, error);
  return TRUE;
}

gboolean onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  ReadResult result = displayOf(data)->read(
      clientOf(client), static_cast<std::size_t>(argument->data_len), Clock::now());
  if (result.error != 0) {
    umockdev_ioctl_client_complete(client, -1, result.error);
    return TRUE;
  }
  umockdev_ioctl_data_update(argument, 0, result.bytes.data(),
                             static_cast<gint>(result.bytes.size()));
  umockdev_ioctl_client_complete(client, static_cast<glong>(result.bytes.size()), 0);
  return TRUE;
}

void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  displayOf(data)->opened(clientOf(client));
}

// umockdev_in_mock_environment() answers only once a testbed exists; what
// matters here is whether the preload library is in place.
bool preloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

struct Session;

// One process while the main loop spins.
struct Child {
  Session* session = nullptr;
  std::size_t index = 0;
  RunResult result;
  GPid pid = 0;
  bool exited = false;
  bool printed = false;
  int openPipes = 2;
  std::string partialLine;
};

// Every process of one runAll(), started in order.
struct Session {
  GMainLoop* loop = nullptr;
  std::vector<Launch> launches;
  std::vector<std::unique_ptr<Child>> children;
  std::size_t started = 0;
  std::size_t running = 0;
  bool delaying = false;
  guint delayTimer = 0;
  std::string executable;
  std::string launcher;

  void startMore();
  void childDone(const Child& child) {
    if (child.exited && child.openPipes == 0) {
      --running;
      startMore();  // a holder that ended without a word holds nothing back
      if (running == 0 && started == launches.size() && !delaying) {
        g_main_loop_quit(loop);
      }
    }
  }
};

gboolean onOutput(gint fd, GIOCondition, gpointer data, bool isOut) {
  Child& child = *static_cast<Child*>(data);
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) {
    const Clock::time_point now = Clock::now();
    if (!isOut) {
      child.result.err.append(buffer, static_cast<std::size_t>(got));
      return G_SOURCE_CONTINUE;
    }
    const std::size_t linesRead = child.session->launches[child.index].linesRead;
    bool newLine = false;
    for (ssize_t i = 0; i < got; ++i) {
      child.result.out += buffer[i];
      if (buffer[i] == '\n') {
        child.result.lines.push_back(OutputLine{child.partialLine, now});
        child.partialLine.clear();
        newLine = true;
        if (child.result.lines.size() == linesRead) {
          break;  // what a reader that stops here never sees
        }
      } else {
        child.partialLine += buffer[i];
      }
    }
    if (newLine && !child.printed) {
      child.printed = true;
      child.session->startMore();
    }
    if (linesRead == 0 || child.result.lines.size() < linesRead) {
      return G_SOURCE_CONTINUE;
    }
    // The reader goes away: the child's next write meets a closed pipe.
  }
  if (got < 0 && errno == EINTR) {
    return G_SOURCE_CONTINUE;
  }
  close(fd);
  --child.openPipes;
  child.session->childDone(child);
  return G_SOURCE_REMOVE;
}

gboolean onStdout(gint fd, GIOCondition condition, gpointer data) {
  return onOutput(fd, condition, data, true);
}

gboolean onStderr(gint fd, GIOCondition condition, gpointer data) {
  return onOutput(fd, condition, data, false);
}

void childEnded(Child& child, int status) {
  child.result.end = Clock::now();
  child.result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  child.exited = true;
  child.session->childDone(child);
}

void onChildExit(GPid pid, gint status, gpointer data) {
  g_spawn_close_pid(pid);
  childEnded(*static_cast<Child*>(data), status);
}

// The child's pidfd became readable: it has ended. Reaping it ourselves
// gives its resource usage, which GLib's child watch does not.
gboolean onPidfd(gint fd, GIOCondition, gpointer data) {
  Child& child = *static_cast<Child*>(data);
  int status = 0;
  rusage usage{};
  if (wait4(child.pid, &status, 0, &usage) == child.pid) {
    const auto time = [](const timeval& value) {
      return std::chrono::seconds(value.tv_sec) + std::chrono::microseconds(value.tv_usec);
    };
    child.result.cpuTime = std::chrono::duration_cast<std::chrono::microseconds>(
        time(usage.ru_utime) + time(usage.ru_stime));
  }
  close(fd);
  childEnded(child, status);
  return G_SOURCE_REMOVE;
}

// Owns the two ends of a pipe until they are handed on.
struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read = ends[0];
      write = ends[1];
    }
  }
  ~Pipe() {
    for (const int end : {read, write}) {
      if (end >= 0) {
        close(end);
      }
    }
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  Pipe(Pipe&&) = delete;
  Pipe& operator=(Pipe&&) = delete;
  bool ok() const { return read >= 0; }
  int takeRead() { return std::exchange(read, -1); }
};

// The children start through posix_spawn, not fork: this process runs
// umockdev's threads and its preload library, and a forked child that calls
// a wrapped function (open, to close descriptors) before its exec can block
// forever on a lock that another thread held at the fork. posix_spawn's child
// makes only raw system calls. Each child leads a process group of its own,
// so that a hung run can be ended with whatever it started (a launcher's
// program, say).
bool spawn(Session& session, Child& child) {
  const Launch& launch = session.launches[child.index];
  std::vector<char*> argv;
  if (!launch.otherProgram) {
    // A launcher such as scripts/memcheck goes in front; it must pass the
    // program's output and status through.
    if (!session.launcher.empty()) {
      argv.push_back(const_cast<char*>(session.launcher.c_str()));
    }
    argv.push_back(const_cast<char*>(session.executable.c_str()));
  }
  for (const std::string& argument : launch.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  if (argv.front() == nullptr) {
    return false;
  }
  Pipe out;
  Pipe err;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (!out.ok() || !err.ok() || posix_spawn_file_actions_init(&actions) != 0) {
    return false;
  }
  posix_spawnattr_init(&attributes);
  // GLib ignores SIGPIPE in this process, and an ignored signal stays
  // ignored across exec; a shell starts programs with its default action.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
  for (const int closed : launch.closedDescriptors) {
    posix_spawn_file_actions_addclose(&actions, closed);
  }
  child.result.start = Clock::now();
  pid_t pid = 0;
  const int failed = launch.otherProgram
                         ? posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ)
                         : posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    return false;
  }
  child.pid = pid;
  child.result.started = true;
  g_unix_fd_add(out.takeRead(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onStdout,
                &child);
  g_unix_fd_add(err.takeRead(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onStderr,
                &child);
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child.pid, 0));
  if (pidfd >= 0) {
    g_unix_fd_add(pidfd, G_IO_IN, onPidfd, &child);
  } else {
    g_child_watch_add(child.pid, onChildExit, &child);
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
      const Child& previous = *children[started - 1];
      const bool holding = launches[started - 1].holdOthersUntilItPrints && !previous.printed &&
                           !(previous.exited && previous.openPipes == 0);
      if (holding) {
        return;
      }
    }
    if (launches[started].delay.count() > 0) {
      delaying = true;
      delayTimer =
          g_timeout_add(static_cast<guint>(launches[started].delay.count()), onDelayOver, this);
      return;
    }
    Child& child = *children[started];
    ++started;
    if (launches[started - 1].action) {
      launches[started - 1].action();
      child.exited = true;
      continue;
    }
    if (spawn(*this, child)) {
      ++running;
    } else {
      child.exited = true;
    }
  }
  if (running == 0 && !delaying) {
    g_main_loop_quit(loop);
  }
}

gboolean onTimeout(gpointer data) {
  Session& session = *static_cast<Session*>(data);
  for (const std::unique_ptr<Child>& child : session.children) {
    if (child->result.started && !child->exited) {
      child->result.timedOut = true;
      kill(-child->pid, SIGKILL);
    }
  }
  // Whatever was still waiting to start never will.
  session.started = session.launches.size();
  session.delaying = false;
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

// The PCI display controller that drives a card, with its DRM device.
std::string EmulatedDesktop::ensureCard(const std::string& card) {
  std::string controller = cardDevicePath(card);
  if (cards_.insert(card).second) {
    add("P: " + controller + "\nE: SUBSYSTEM=pci\nA: class=0x030000\n\nP: " + controller + "/drm/" +
        card + "\nE: SUBSYSTEM=drm\n\n");
  }
  return controller;
}

void EmulatedDesktop::addConnector(const Connector& connector, EmulatedDisplay* display,
                                   EmulatedDisplay* besideAux) {
  const std::string card = cardOf(connector.name);
  const std::string controller = ensureCard(card);
  const std::string path = controller + "/drm/" + card + "/" + connector.name;
  const std::string bus = "i2c-" + std::to_string(connector.bus);
  const std::string status = !connector.status.empty() ? connector.status
                             : connector.connected     ? "connected"
                                                       : "disconnected";
  std::string text = "P: " + path + "\nE: SUBSYSTEM=drm\nA: status=" + status +
                     "\\n\nA: enabled=" + (connector.connected ? "enabled" : "disabled") + "\\n\n";
  if (!connector.edid.empty()) {
    text += "H: edid=" + hexBytes(connector.edid) + "\n";
  }
  if (connector.link == BusLink::kDdcSymlink) {
    text += "L: ddc=../../../" + bus + "\n";
    if (connector.legacyBusLink) {
      text += "L: " + bus + "=../../../" + bus + "\n";
    }
  }
  if (connector.ddcBesideAux) {
    text += "L: ddc=../../../i2c-" + std::to_string(*connector.ddcBesideAux) + "\n";
  }
  text += "\n";
  if (connector.link == BusLink::kDdcSymlink) {
    text += adapter(controller + "/" + bus, connector.bus, connector.deviceNode);
  } else if (connector.link == BusLink::kAuxChild) {
    text += adapter(path + "/" + bus, connector.bus, connector.deviceNode);
  }
  if (connector.ddcBesideAux) {
    text += adapter(controller + "/i2c-" + std::to_string(*connector.ddcBesideAux),
                    *connector.ddcBesideAux, true);
  }
  add(text);
  if (connector.ddcBesideAux) {
    attach(*connector.ddcBesideAux, besideAux);
  }
  if (connector.link == BusLink::kNone) {
    return;
  }
  if (connector.link == BusLink::kAuxChild && display != nullptr) {
    display->nakWith(EREMOTEIO);
  }
  if (connector.deviceNode) {
    attach(connector.bus, display);
  } else if (!busIsFreeOnThisMachine(connector.bus)) {
    // umockdev passes a /dev path it does not emulate through to the real
    // one: the program would talk to a real display.
    error_ = "/dev/" + bus + " exists on this machine; use busWithoutRealNode()";
  }
}

void EmulatedDesktop::addAdapter(const Adapter& wanted, EmulatedDisplay* display) {
  const std::string bus = "i2c-" + std::to_string(wanted.bus);
  std::string parent;
  switch (wanted.home) {
    case AdapterHome::kCard:
      parent = ensureCard(wanted.card);
      break;
    case AdapterHome::kSmbus:
      parent = "/devices/pci0000:00/0000:00:1f.4";
      add("P: " + parent + "\nE: SUBSYSTEM=pci\nA: class=0x0c0500\n\n");
      break;
    case AdapterHome::kPlatform:
      parent = "/devices/platform/i2c-gpio.1";
      add("P: " + parent + "\nE: SUBSYSTEM=platform\n\n");
      break;
    case AdapterHome::kDisplayControllerWithoutDrm:
      parent = "/devices/pci0000:00/0000:00:1e.0";
      add("P: " + parent + "\nE: SUBSYSTEM=pci\nA: class=0x030000\n\n");
      break;
  }
  add(adapter(parent + "/" + bus, wanted.bus, true, wanted.name + "\n"));
  attach(wanted.bus, display);
}

// umockdev (0.17) cannot remove a device node and make it again, so these
// two change sysfs only, where the program looks to tell adapters apart.
void EmulatedDesktop::removeAdapter(unsigned bus) {
  if (testbed_->testbed == nullptr) {
    return;
  }
  const std::string node = "i2c-" + std::to_string(bus);
  const std::string sys = umockdev_testbed_get_sys_dir(testbed_->testbed);
  unlink((sys + "/bus/i2c/devices/" + node).c_str());
  unlink((sys + "/class/i2c-dev/" + node).c_str());
  // Its device node goes too: an open then meets the real /dev, which has
  // none for a bus from busWithoutRealNode().
  umockdev_testbed_detach_ioctl(testbed_->testbed, ("/dev/" + node).c_str(), nullptr);
}

void EmulatedDesktop::giveNumberToAnotherAdapter(unsigned bus, const std::string& card) {
  if (testbed_->testbed == nullptr) {
    return;
  }
  const std::string node = "i2c-" + std::to_string(bus);
  const std::string sys = umockdev_testbed_get_sys_dir(testbed_->testbed);
  unlink((sys + "/bus/i2c/devices/" + node).c_str());
  add("P: " + ensureCard(card) + "/" + node + "\nE: SUBSYSTEM=i2c\nA: name=DPMST\n\n");
}

void EmulatedDesktop::addOtherBus(unsigned bus, EmulatedDisplay* guard) {
  addAdapter(Adapter{bus, "SMBus I801 adapter at efa0", AdapterHome::kSmbus, ""}, guard);
}

RunResult EmulatedDesktop::run(const std::vector<std::string>& arguments,
                               std::chrono::milliseconds timeout) {
  Launch launch;
  launch.arguments = arguments;
  std::vector<RunResult> results = runAll({launch}, timeout);
  return results.front();
}

std::vector<RunResult> EmulatedDesktop::runAll(const std::vector<Launch>& launches,
                                               std::chrono::milliseconds timeout) {
  Session session;
  session.launches = launches;
  for (std::size_t i = 0; i < launches.size(); ++i) {
    session.children.push_back(std::make_unique<Child>());
    session.children.back()->session = &session;
    session.children.back()->index = i;
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
  for (const std::unique_ptr<Child>& child : session.children) {
    if (!child->partialLine.empty()) {
      child->result.lines.push_back(OutputLine{child->partialLine, child->result.end});
    }
    results.push_back(child->result);
  }
  return results;
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
