// A fake desktop for the real kelvane executable, built with umockdev: DRM
// connectors in a fake sysfs, /dev/i2c-N nodes answered by emulated displays,
// and a way to run the program inside it.
//
// The process that uses this must run under umockdev-wrapper (see
// runUnderUmockdev), and everything here must be used from its main thread:
// the displays answer from the GLib main loop that run() spins.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "emulated_display.h"

namespace kelvane::emulation {

// How sysfs ties a connector to its DDC bus.
enum class BusLink {
  kDdcSymlink,  // cardN-X/ddc -> the adapter (HDMI, DVI, VGA)
  kAuxChild,    // cardN-X/i2c-B, the DP AUX channel's adapter
  kNone,        // no bus at all (a laptop panel, say)
};

struct Connector {
  std::string name;  // "card0-HDMI-A-1": the card number is taken from it
  bool connected = true;
  BusLink link = BusLink::kDdcSymlink;
  unsigned bus = 0;
  // False when /dev/i2c-B does not exist (the i2c-dev module is not loaded).
  // umockdev lets such a path through to the real /dev, so the bus must be
  // one this machine does not have: see busWithoutRealNode().
  bool deviceNode = true;
};

struct OutputLine {
  std::string text;  // without its newline
  Clock::time_point arrived;
};

struct RunResult {
  bool started = false;
  bool timedOut = false;
  int exitStatus = -1;  // 0 to 255; -1 when killed by a signal
  std::string out;
  std::string err;
  std::vector<OutputLine> lines;
  Clock::time_point start;
  Clock::time_point end;
  // User and system time of the child, when the kernel could report it.
  std::chrono::microseconds cpuTime{0};
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - start);
  }
};

class EmulatedDesktop {
 public:
  EmulatedDesktop();
  ~EmulatedDesktop();
  EmulatedDesktop(const EmulatedDesktop&) = delete;
  EmulatedDesktop& operator=(const EmulatedDesktop&) = delete;
  EmulatedDesktop(EmulatedDesktop&&) = delete;
  EmulatedDesktop& operator=(EmulatedDesktop&&) = delete;

  // Empty when the testbed is ready; otherwise why it is not.
  const std::string& error() const { return error_; }

  // Adds a connector; the display, if any, answers on its bus and must
  // outlive this object.
  void addConnector(const Connector& connector, EmulatedDisplay* display = nullptr);
  // An I2C bus that belongs to no connector (SMBus, sensors): the program
  // must never open it. The display stands guard on it.
  void addOtherBus(unsigned bus, EmulatedDisplay* guard);

  // Runs the executable named by KELVANE_EXE with the arguments, answering
  // the displays until it ends; it is killed after the timeout. When
  // KELVANE_LAUNCHER names a program, that program is started instead, with
  // the executable and the arguments after it.
  RunResult run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout);

  // Every display's traffic, prefixed with its bus ("i2c-3 set D6 4").
  const std::vector<std::string>& journal() const { return journal_; }

 private:
  void add(const std::string& description);
  void attach(unsigned bus, EmulatedDisplay* display);

  struct Testbed;
  std::unique_ptr<Testbed> testbed_;
  std::string error_;
  std::vector<std::string> journal_;
};

// A bus number for which this machine has no /dev/i2c-N node.
unsigned busWithoutRealNode();

// Starts the process again under umockdev-wrapper unless it already runs
// there. Returns only when it does; fails loudly otherwise.
void runUnderUmockdev(int argc, char** argv);

}  // namespace kelvane::emulation
