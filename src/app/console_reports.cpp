#include "app/console_reports.h"

#include <cstdlib>
#include <iostream>

namespace kelvane {

void printLine(std::ostream& out, std::string_view line) {
  out << line << std::endl;
}

void printEcho(std::ostream& out, std::string_view option, std::string_view value) {
  out << "Option: " << option << ", value: " << value << std::endl;
}

std::string statusLine(StatusValue status) {
  switch (status) {
    case 1:
      return "On";
    case 0:
      return "Off";
    case kStatusReadFailed:
      return "Disconected";
    default:
      return "Error, status answer: " + std::to_string(status);
  }
}

void printStatus(std::ostream& out, StatusValue status) {
  printLine(out, statusLine(status));
}

void printUsage(std::ostream& out) {
  static constexpr std::string_view kUsageLines[] = {
      "Usage:",
      "Kelvane [-p option] [-q] [-t]",
      "",
      "\t-p\t\tPower options: [On, Off]",
      "",
      "\t-q\t\tQuerry Screen Status",
      "\t\t\t\tWill happen beffore instruction",
      "\t\t\t\tif combined with power querry",
      "",
      "\t-t\t\tTesting routine. Disables other options",
      "\t\t\tOn -> 5 off commands -> On. ",
  };
  for (const std::string_view line : kUsageLines) {
    printLine(out, line);
  }
}

void printUsageAndExit() {
  printUsage(std::cout);
  std::exit(kUsageExitStatus);
}

}  // namespace kelvane
