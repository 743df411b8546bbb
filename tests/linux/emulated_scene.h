// A desktop and the displays attached to it, for one run of a test.
#pragma once

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "emulated_desktop.h"
#include "emulated_display.h"

namespace kelvane::emulation {

using Traffic = std::vector<std::string>;

struct Scene {
  // Declared first so that the displays outlive the desktop that calls them.
  std::list<EmulatedDisplay> displays;
  EmulatedDesktop desktop;

  EmulatedDisplay& connect(const Connector& connector, DisplayBehaviour behaviour = {}) {
    EmulatedDisplay& display = displays.emplace_back(behaviour);
    desktop.addConnector(connector, &display);
    return display;
  }
  // A display on a bus the program must leave alone.
  EmulatedDisplay& guard(const Connector& connector) {
    EmulatedDisplay& display = displays.emplace_back();
    desktop.addConnector(connector, &display);
    return display;
  }
  EmulatedDisplay& guardOtherBus(unsigned bus) {
    EmulatedDisplay& display = displays.emplace_back();
    desktop.addOtherBus(bus, &display);
    return display;
  }

  // Every display saw well-paced, well-formed traffic to 0x37 only.
  void expectWellBehaved() const {
    for (const EmulatedDisplay& display : displays) {
      EXPECT_EQ(display.violations(), Traffic{});
    }
  }
};

}  // namespace kelvane::emulation
