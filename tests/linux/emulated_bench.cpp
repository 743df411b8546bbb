// Times the real kelvane executable against prompt emulated displays: the
// figures bench/ddc-linux prints. Not a test: it asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "emulated_scene.h"

namespace kelvane::emulation {
namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

// Median, minimum and maximum of a series.
std::string summary(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  char text[80];
  const int length = std::snprintf(text, sizeof text, "%7.2f ms  (min %.2f, max %.2f)",
                                   values[values.size() / 2], values.front(), values.back());
  return std::string(text,
                     length > 0 ? std::min(static_cast<std::size_t>(length), sizeof text - 1) : 0);
}

double between(Clock::time_point from, Clock::time_point to) {
  return Milliseconds(to - from).count();
}

// The machines timed.
void standardDesktop(Scene& scene, unsigned monitors) {
  for (unsigned i = 0; i < monitors; ++i) {
    scene.connect({"card0-DP-" + std::to_string(i + 1), true, BusLink::kAuxChild, 10 + i});
  }
}

// A dozen NVIDIA adapters, three of them with a display.
void nvidiaDesktop(Scene& scene) {
  for (unsigned i = 0; i < 12; ++i) {
    DisplayBehaviour behaviour;
    const bool display = i == 2 || i == 5 || i == 9;
    behaviour.naks = !display;
    if (display) {
      behaviour.edid = validEdid(static_cast<std::uint8_t>(i));
      Connector connector{"card1-DP-" + std::to_string(i), true, BusLink::kNone, 0};
      connector.edid = validEdid(static_cast<std::uint8_t>(i));
      scene.desktop.addConnector(connector);
    }
    scene.adapter({20 + i, "NVIDIA i2c adapter " + std::to_string(i) + " at 1:00.0\n",
                   AdapterHome::kCard, "card1"},
                  behaviour);
  }
}

// A dock with three MST monitors behind one root port, beside the laptop's panel.
void mstDesktop(Scene& scene) {
  scene.guard({"card0-eDP-1", true, BusLink::kAuxChild, 2});
  scene.guard({"card0-DP-1", false, BusLink::kAuxChild, 3});
  for (unsigned i = 0; i < 3; ++i) {
    Connector connector{"card0-DP-" + std::to_string(5 + i), true, BusLink::kNone, 0};
    connector.edid = validEdid(static_cast<std::uint8_t>(i));
    scene.desktop.addConnector(connector);
    DisplayBehaviour behaviour;
    behaviour.edid = validEdid(static_cast<std::uint8_t>(i));
    scene.adapter({10 + i, "DPMST"}, behaviour);
  }
}

struct Sample {
  double wall = 0;
  double cpu = 0;
  double requestToReply = 0;  // the first Get's time on the bus
  double toFirstMessage = 0;  // process start to the first DDC/CI message
  double toLastMessage = 0;   // process start to the last DDC/CI message
};

bool measure(const std::function<void(Scene&)>& build, const std::vector<std::string>& arguments,
             Sample& sample) {
  Scene scene;
  build(scene);
  const RunResult result = scene.desktop.run(arguments, std::chrono::seconds(10));
  if (!result.started || result.timedOut || result.exitStatus != 0) {
    std::cerr << "run failed: " << scene.desktop.error() << '\n';
    return false;
  }
  std::optional<Clock::time_point> first;
  std::optional<Clock::time_point> last;
  for (const EmulatedDisplay& display : scene.displays) {
    for (const std::string& violation : display.violations()) {
      std::cerr << "violation: " << violation << '\n';
    }
    if (display.firstMessage() && (!first || *display.firstMessage() < *first)) {
      first = display.firstMessage();
    }
    if (display.lastMessage() && (!last || *display.lastMessage() > *last)) {
      last = display.lastMessage();
    }
    if (display.firstMessage() && display.firstReply() && sample.requestToReply == 0) {
      sample.requestToReply = between(*display.firstMessage(), *display.firstReply());
    }
  }
  sample.wall = between(result.start, result.end);
  sample.cpu = Milliseconds(result.cpuTime).count();
  sample.toFirstMessage = first ? between(result.start, *first) : 0;
  sample.toLastMessage = last ? between(result.start, *last) : 0;
  return true;
}

int bench(int runs) {
  enum Figure { kWall, kCpu, kRequestToReply, kFirstMessage, kLastMessage };
  struct Row {
    const char* label;
    std::function<void(Scene&)> build;
    std::vector<std::string> arguments;
    std::vector<Figure> figures;
  };
  const Row rows[] = {
      {"-q, no monitor (process start and exit)",
       [](Scene& scene) { standardDesktop(scene, 0); },
       {"-q"},
       {kWall, kCpu}},
      {"-q, one monitor on DP AUX",
       [](Scene& scene) { standardDesktop(scene, 1); },
       {"-q"},
       {kRequestToReply, kFirstMessage, kWall, kCpu}},
      {"-q, NVIDIA, 12 adapters, 3 displays", nvidiaDesktop, {"-q"}, {kFirstMessage, kWall}},
      {"-q, MST dock, 3 displays", mstDesktop, {"-q"}, {kFirstMessage, kWall}},
      {"-p Off, three monitors",
       [](Scene& scene) { standardDesktop(scene, 3); },
       {"-p", "Off"},
       {kLastMessage, kWall, kCpu}},
      {"-q -p Off, three monitors",
       [](Scene& scene) { standardDesktop(scene, 3); },
       {"-q", "-p", "Off"},
       {kLastMessage, kWall}},
  };
  const char* names[] = {"process wall time", "process CPU time", "Get request to reply",
                         "start to first DDC/CI message", "start to last DDC/CI message"};
  std::printf("kelvane against prompt emulated displays, %d runs each, median (min, max)\n", runs);
  for (const Row& row : rows) {
    std::vector<std::vector<double>> series(5);
    for (int i = 0; i < runs; ++i) {
      Sample sample;
      if (!measure(row.build, row.arguments, sample)) {
        return 1;
      }
      const double values[] = {sample.wall, sample.cpu, sample.requestToReply,
                               sample.toFirstMessage, sample.toLastMessage};
      for (std::size_t figure = 0; figure < series.size(); ++figure) {
        series[figure].push_back(values[figure]);
      }
    }
    std::printf("  %s\n", row.label);
    for (const Figure figure : row.figures) {
      std::printf("    %-32s %s\n", names[figure], summary(series[figure]).c_str());
    }
  }
  return 0;
}

}  // namespace
}  // namespace kelvane::emulation

int main(int argc, char** argv) {
  kelvane::emulation::runUnderUmockdev(argc, argv);
  // The number of runs per row, if given and sensible.
  long runs = 30;
  if (argc > 1) {
    char* end = nullptr;
    const long given = std::strtol(argv[1], &end, 10);
    if (end != argv[1] && *end == '\0' && given > 0 && given <= 10000) {
      runs = given;
    }
  }
  return kelvane::emulation::bench(static_cast<int>(runs));
}
