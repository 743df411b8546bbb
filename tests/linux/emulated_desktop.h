// SPDX-License-Identifier: MIT
// A fake machine for the real kelvane executable, built with umockdev: PCI
// display controllers with their DRM connectors and I2C adapters in a fake
// sysfs, /dev/i2c-N nodes answered by emulated displays, and a way to run the
// program inside it, once or several times at once.
//
// The process that uses this must run under umockdev-wrapper (see
// runUnderUmockdev), and everything here must be used from its main thread:
// the displays answer from the GLib main loop that run() spins.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "emulated_display.h"
#include "umockdev_bridge.h"

namespace kelvane::emulation {

// How sysfs ties a connector to its DDC bus.
enum class BusLink {
  kDdcSymlink,  // cardN-X/ddc -> the adapter (HDMI, DVI, VGA)
  kAuxChild,    // cardN-X/i2c-B, the DP AUX channel's adapter
  kNone,        // no bus at all (a laptop panel, NVIDIA's driver, an MST monitor)
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
  // When set, the status file says this instead ("unknown", a stale value).
  std::string status{};
  // A `ddc` link to another adapter beside the AUX child, as amdgpu makes for
  // DisplayPort (its own display answers there).
  std::optional<unsigned> ddcBesideAux{};
  // An i2c-N symbolic link beside `ddc`, to the same adapter (kernels before 6.7).
  bool legacyBusLink = false;
  // The connector's `edid` attribute; none when empty.
  Bytes edid{};
};

// Where an adapter that no connector links to sits in the device tree.
enum class AdapterHome {
  kCard,                         // directly under the card's display controller (NVIDIA, DPMST)
  kSmbus,                        // the chipset's SMBus controller (PCI class 0x0c05)
  kPlatform,                     // a platform I2C controller, no PCI device at all
  kDisplayControllerWithoutDrm,  // a PCI display controller that no DRM driver drives
};

struct Adapter {
  unsigned bus = 0;
  std::string name = "DDC adapter";  // as the driver writes it, newlines included
  AdapterHome home = AdapterHome::kCard;
  std::string card = "card0";
};

using testing_support::OutputLine;
// How one process of a run ended, with what it wrote.
using RunResult = testing_support::ChildResult;

// One process of a runAll(), or something done to the machine meanwhile.
struct Launch {
  std::vector<std::string> arguments;
  // Instead of starting one: this signal to the process of an earlier launch.
  int signal = 0;
  std::size_t signalled = 0;
  // Started with standard input, output or error closed, as some hotkey
  // daemons and services start programs.
  std::set<int> closedDescriptors{};
  // The reader of standard output goes away after this many lines (as
  // `| head -1` does); 0: it reads to the end.
  std::size_t linesRead = 0;
  // Another program than KELVANE_EXE, found on PATH: arguments[0] is it.
  bool otherProgram = false;
  // The launches after this one start only once it has printed a line.
  bool holdOthersUntilItPrints = false;
  // This one starts only once the first launch has printed this line (then
  // waits its delay): something done at a known point of a run.
  std::string afterLine{};
  // How long after the launch before it this one starts.
  std::chrono::milliseconds delay{0};
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

  // Adds a connector, and its card's display controller if need be. The
  // displays answer on its buses and must outlive this object.
  void addConnector(const Connector& connector, EmulatedDisplay* display = nullptr,
                    EmulatedDisplay* besideAux = nullptr);
  // An I2C adapter that no connector links to.
  void addAdapter(const Adapter& wanted, EmulatedDisplay* display);
  // Unplugs the adapter of a bus, as sysfs shows it. Its device node stays
  // (umockdev would keep a handler of it alive), answered by the display
  // that was there, which must hear nothing more.
  void removeAdapter(unsigned bus);
  // Another adapter, on the display controller of card, takes the number of
  // a bus whose adapter was unplugged. The device node stays answered by the
  // display that was there, which must hear nothing more.
  void giveNumberToAnotherAdapter(unsigned bus, const std::string& card);
  // An I2C bus of the chipset (SMBus, sensors): the program must never open
  // it. The display stands guard on it.
  void addOtherBus(unsigned bus, EmulatedDisplay* guard);

  // Runs the executable named by KELVANE_EXE with the arguments, answering
  // the displays until it ends; it is killed after the timeout. When
  // KELVANE_LAUNCHER names a program, that program is started instead, with
  // the executable and the arguments after it.
  RunResult run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout);
  // Several processes at once, started in order; the results in that order.
  std::vector<RunResult> runAll(const std::vector<Launch>& launches,
                                std::chrono::milliseconds timeout);

  // Every display's traffic, prefixed with its bus ("i2c-3 set D6 4").
  const std::vector<std::string>& journal() const { return journal_; }

 private:
  void add(const std::string& description);
  void attach(unsigned bus, EmulatedDisplay* display);
  std::string ensureCard(const std::string& card);

  std::unique_ptr<UmockdevBridge> bridge_;
  std::string error_;
  std::vector<std::string> journal_;
  std::set<std::string> cards_;
};

// A bus number for which this machine has no /dev/i2c-N node.
unsigned busWithoutRealNode();

// Starts the process again under umockdev-wrapper unless it already runs
// there. Returns only when it does; fails loudly otherwise.
void runUnderUmockdev(int argc, char** argv);

}  // namespace kelvane::emulation
