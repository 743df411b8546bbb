// SPDX-License-Identifier: MIT
// A desktop and the displays attached to it, for one run of a test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "emulated_desktop.h"
#include "emulated_display.h"
#include "expected_texts.h"

namespace kelvane::emulation {

using Traffic = std::vector<std::string>;

// The journal without the opens, whose order umockdev does not keep: an
// open is not answered, so several may be reported in any order.
inline Traffic messagesIn(const Traffic& journal) {
  Traffic messages;
  for (const std::string& entry : journal) {
    if (entry.size() < 5 || entry.compare(entry.size() - 5, 5, " open") != 0) {
      messages.push_back(entry);
    }
  }
  return messages;
}

struct Scene {
  // Declared first so that the displays outlive the desktop that calls them.
  std::list<EmulatedDisplay> displays;
  EmulatedDesktop desktop;

  EmulatedDisplay& connect(const Connector& connector, DisplayBehaviour behaviour = {}) {
    EmulatedDisplay& display = displays.emplace_back(std::move(behaviour));
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
  // An adapter no connector links to, and what answers on it.
  EmulatedDisplay& adapter(const Adapter& adapter, DisplayBehaviour behaviour = {}) {
    EmulatedDisplay& display = displays.emplace_back(std::move(behaviour));
    desktop.addAdapter(adapter, &display);
    return display;
  }
  // A connector with two buses: its AUX child and a `ddc` link beside it.
  std::pair<EmulatedDisplay*, EmulatedDisplay*> connectTwice(const Connector& connector,
                                                             DisplayBehaviour aux,
                                                             DisplayBehaviour ddc) {
    EmulatedDisplay& onAux = displays.emplace_back(std::move(aux));
    EmulatedDisplay& onDdc = displays.emplace_back(std::move(ddc));
    desktop.addConnector(connector, &onAux, &onDdc);
    return {&onAux, &onDdc};
  }

  // Every display saw well-paced, well-formed traffic to 0x37 only.
  void expectWellBehaved() const {
    for (const EmulatedDisplay& display : displays) {
      EXPECT_EQ(display.violations(), Traffic{});
    }
  }
};

}  // namespace kelvane::emulation

namespace kelvane::emulation {

// Far beyond the about one second a monitor may take: only a hang gets here.
// A launcher (valgrind) slows the program down many times over.
inline std::chrono::milliseconds runTimeout() {
  const char* launcher = std::getenv("KELVANE_LAUNCHER");
  return std::chrono::milliseconds{launcher != nullptr && *launcher != '\0' ? 60000 : 10000};
}

// One run of kelvane that must start, end in time with status 0 and say
// exactly err on standard error: nothing, unless something failed.
inline RunResult runKelvane(Scene& scene, const std::vector<std::string>& arguments,
                            const std::string& err = "") {
  EXPECT_EQ(scene.desktop.error(), "");
  RunResult result = scene.desktop.run(arguments, runTimeout());
  EXPECT_TRUE(result.started) << "set KELVANE_EXE to the kelvane executable";
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.exitStatus, 0);
  return result;
}

// The lines on standard error, for a monitor ("kelvane: <monitor>" before
// them) and for the run, from the tests' one home of expected texts.
inline const std::string kNoAnswer = ": " + expected::kNoAnswer + "\n";
inline const std::string kNoValidReply = ": " + expected::kNoValidReply + "\n";
inline const std::string kUnsupported = ": " + expected::kUnsupported + "\n";
inline const std::string kDeviceMissing = ": " + expected::kDeviceMissing + "\n";
inline const std::string kBusBusy = ": " + expected::kBusBusy + "\n";
inline std::string noExternalMonitor(const std::string& seen) {
  return expected::noMonitorFound(expected::noExternalMonitorExplained(seen));
}

inline int countOf(const Traffic& traffic, const std::string& entry) {
  return static_cast<int>(std::count(traffic.begin(), traffic.end(), entry));
}

}  // namespace kelvane::emulation
