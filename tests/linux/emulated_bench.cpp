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

struct Sample {
  double wall = 0;
  double cpu = 0;
  double openToReply = 0;
};

// Median, minimum and maximum of a series.
std::string summary(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  char text[80];
  const int length = std::snprintf(text, sizeof text, "%7.2f ms  (min %.2f, max %.2f)",
                                   values[values.size() / 2], values.front(), values.back());
  return std::string(text,
                     length > 0 ? std::min(static_cast<std::size_t>(length), sizeof text - 1) : 0);
}

// Runs the arguments once in a fresh desktop with the given number of prompt
// displays.
bool measure(unsigned monitors, const std::vector<std::string>& arguments, Sample& sample) {
  Scene scene;
  for (unsigned i = 0; i < monitors; ++i) {
    scene.connect({"card0-DP-" + std::to_string(i + 1), true, BusLink::kAuxChild, 10 + i});
  }
  const RunResult result = scene.desktop.run(arguments, std::chrono::seconds(10));
  if (!result.started || result.timedOut || result.exitStatus != 0) {
    std::cerr << "run failed: " << scene.desktop.error() << '\n';
    return false;
  }
  for (const EmulatedDisplay& display : scene.displays) {
    for (const std::string& violation : display.violations()) {
      std::cerr << "violation: " << violation << '\n';
    }
  }
  sample.wall = Milliseconds(result.end - result.start).count();
  sample.cpu = Milliseconds(result.cpuTime).count();
  const EmulatedDisplay& first = scene.displays.front();
  if (first.firstOpen() && first.firstReply()) {
    sample.openToReply = Milliseconds(*first.firstReply() - *first.firstOpen()).count();
  }
  return true;
}

int bench(int runs) {
  struct Row {
    const char* label;
    unsigned monitors;
    std::vector<std::string> arguments;
    bool openToReply;
  };
  const Row rows[] = {
      {"-q, no monitor (process start and exit)", 0, {"-q"}, false},
      {"-q, one monitor", 1, {"-q"}, true},
      {"-p Off, three monitors", 3, {"-p", "Off"}, false},
      {"-q -p Off, three monitors", 3, {"-q", "-p", "Off"}, false},
  };
  std::printf("kelvane against prompt emulated displays, %d runs each, median (min, max)\n", runs);
  for (const Row& row : rows) {
    std::vector<double> walls;
    std::vector<double> cpus;
    std::vector<double> replies;
    for (int i = 0; i < runs; ++i) {
      Sample sample;
      if (!measure(row.monitors, row.arguments, sample)) {
        return 1;
      }
      walls.push_back(sample.wall);
      cpus.push_back(sample.cpu);
      replies.push_back(sample.openToReply);
    }
    if (row.openToReply) {
      std::printf("  %-42s open of the bus to reply: %s\n", row.label, summary(replies).c_str());
    }
    std::printf("  %-42s process wall time:        %s\n", row.label, summary(walls).c_str());
    std::printf("  %-42s process CPU time:         %s\n", row.label, summary(cpus).c_str());
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
