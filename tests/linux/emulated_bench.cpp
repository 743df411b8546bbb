// SPDX-License-Identifier: MIT
// Times the real kelvane executable against prompt emulated displays: the
// figures bench/ddc-linux prints. Not a test: it asserts nothing.
#include <unistd.h>

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

// Displays with an EDID, as a general DDC/CI tool wants before it speaks
// to a bus; kelvane does not read it on a linked bus.
void standardDesktopWithEdids(Scene& scene, unsigned monitors) {
  for (unsigned i = 0; i < monitors; ++i) {
    DisplayBehaviour behaviour;
    behaviour.edid = validEdid(static_cast<std::uint8_t>(i));
    scene.connect({"card0-DP-" + std::to_string(i + 1), true, BusLink::kAuxChild, 10 + i},
                  behaviour);
  }
}

// The wall time of launches run one after the other, from the first start
// to the last end; 0 when one failed.
double sequentialWall(Scene& scene, const std::vector<Launch>& launches) {
  double total = 0;
  for (const Launch& launch : launches) {
    const std::vector<RunResult> results = scene.desktop.runAll({launch}, std::chrono::seconds(20));
    const RunResult& result = results.front();
    if (!result.started || result.timedOut || result.exitStatus != 0) {
      std::cerr << "run failed: " << launch.arguments.front() << " " << result.err << '\n';
      return 0;
    }
    total += between(result.start, result.end);
  }
  return total;
}

Launch ddcutil(std::vector<std::string> arguments) {
  Launch launch;
  launch.otherProgram = true;
  launch.arguments = {"ddcutil"};
  launch.arguments.insert(launch.arguments.end(), arguments.begin(), arguments.end());
  return launch;
}

Launch kelvane(std::vector<std::string> arguments) {
  Launch launch;
  launch.arguments = std::move(arguments);
  return launch;
}

// Whether a program of that name is on PATH.
bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "";
  std::size_t start = 0;
  while (start <= folders.size()) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/" + program;
    if (end > start && access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// kelvane and ddcutil (a general DDC/CI tool, given the bus, so that it
// probes nothing else) on the same emulated displays, run after run in
// turn, so that both meet the same load.
int sideBySide(int runs) {
  struct Job {
    const char* label;
    unsigned monitors;
    std::vector<Launch> ours;
    std::vector<Launch> theirs;
  };
  const Job jobs[] = {
      {"read the power mode of one monitor",
       1,
       {kelvane({"-q"})},
       {ddcutil({"getvcp", "d6", "--bus", "10"})}},
      {"switch three monitors off",
       3,
       {kelvane({"-p", "Off"})},
       {ddcutil({"setvcp", "d6", "4", "--noverify", "--bus", "10"}),
        ddcutil({"setvcp", "d6", "4", "--noverify", "--bus", "11"}),
        ddcutil({"setvcp", "d6", "4", "--noverify", "--bus", "12"})}},
  };
  std::printf("side by side with ddcutil, %d runs each, process wall time, median (min, max)\n",
              runs);
  for (const Job& job : jobs) {
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int i = 0; i < runs; ++i) {
      for (const bool isOurs : {true, false}) {
        Scene scene;
        standardDesktopWithEdids(scene, job.monitors);
        const double wall = sequentialWall(scene, isOurs ? job.ours : job.theirs);
        if (wall == 0) {
          return 1;
        }
        (isOurs ? ours : theirs).push_back(wall);
      }
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    std::printf("  %s\n    %-32s %s\n    %-32s %s\n    %-32s %.1f times faster\n", job.label,
                "kelvane", summary(ours).c_str(), "ddcutil", summary(theirs).c_str(), "kelvane is",
                theirs[theirs.size() / 2] / ours[ours.size() / 2]);
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
  if (const int failed = kelvane::emulation::bench(static_cast<int>(runs))) {
    return failed;
  }
  // Only where ddcutil is installed: it is a benchmark's yardstick, nothing more.
  if (kelvane::emulation::onPath("ddcutil")) {
    return kelvane::emulation::sideBySide(static_cast<int>(runs));
  }
  std::printf("ddcutil is not installed: no side-by-side figures (apt-get install ddcutil)\n");
  return 0;
}
