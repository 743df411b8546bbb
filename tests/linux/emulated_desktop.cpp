// SPDX-License-Identifier: MIT
#include "emulated_desktop.h"

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

// A umockdump attribute value: newlines written as \n.
std::string escaped(const std::string& value) {
  std::string text;
  for (const char c : value) {
    text += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return text;
}

// umockdump's form of a binary attribute: lower-case digits, no spaces.
std::string umockdumpHex(const Bytes& bytes) {
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

}  // namespace

EmulatedDesktop::EmulatedDesktop() : bridge_(std::make_unique<UmockdevBridge>()) {
  if (!UmockdevBridge::preloaded()) {
    error_ = "not running under umockdev-wrapper";
  }
}

EmulatedDesktop::~EmulatedDesktop() = default;

void EmulatedDesktop::add(const std::string& description) {
  bridge_->add(description, error_);
}

void EmulatedDesktop::attach(unsigned bus, EmulatedDisplay* display) {
  if (display != nullptr) {
    display->journalTo(&journal_, "i2c-" + std::to_string(bus));
  }
  bridge_->attach(bus, display, error_);
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
  if (connector.status == "unknown" && !connector.edid.empty()) {
    // The kernel fills edid only when it probes the connector, which then
    // reads connected or disconnected.
    error_ = connector.name + ": an unprobed connector has no EDID in sysfs";
  }
  const std::string status = !connector.status.empty() ? connector.status
                             : connector.connected     ? "connected"
                                                       : "disconnected";
  std::string text = "P: " + path + "\nE: SUBSYSTEM=drm\nA: status=" + status +
                     "\\n\nA: enabled=" + (connector.connected ? "enabled" : "disabled") + "\\n\n";
  if (!connector.edid.empty()) {
    text += "H: edid=" + umockdumpHex(connector.edid) + "\n";
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
  if (!bridge_->ready()) {
    return;
  }
  const std::string node = "i2c-" + std::to_string(bus);
  const std::string sys = bridge_->sysDirectory();
  unlink((sys + "/bus/i2c/devices/" + node).c_str());
  unlink((sys + "/class/i2c-dev/" + node).c_str());
}

void EmulatedDesktop::giveNumberToAnotherAdapter(unsigned bus, const std::string& card) {
  if (!bridge_->ready()) {
    return;
  }
  const std::string node = "i2c-" + std::to_string(bus);
  unlink((bridge_->sysDirectory() + "/bus/i2c/devices/" + node).c_str());
  add("P: " + ensureCard(card) + "/" + node + "\nE: SUBSYSTEM=i2c\nA: name=DPMST\n\n");
}

void EmulatedDesktop::addOtherBus(unsigned bus, EmulatedDisplay* guard) {
  addAdapter(Adapter{bus, "SMBus I801 adapter at efa0", AdapterHome::kSmbus, ""}, guard);
}

unsigned busWithoutRealNode() {
  unsigned bus = 240;
  while (!busIsFreeOnThisMachine(bus)) {
    ++bus;
  }
  return bus;
}

void runUnderUmockdev(int argc, char** argv) {
  if (UmockdevBridge::preloaded()) {
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
