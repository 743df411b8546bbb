// SPDX-License-Identifier: MIT
#include "dxva2_scripted_run.h"

#include <gtest/gtest.h>
#include <stdlib.h>  // setenv

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "expected_texts.h"
#include "temporary_folder.h"

namespace kelvane::dxva2_test {
namespace {

using testing_support::lineEnds;
using testing_support::runKelvane;
using testing_support::TemporaryFolder;

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Wine's drive Z: is the root of the file system.
std::string windowsPath(const std::filesystem::path& path) {
  std::string converted = "Z:" + path.string();
  std::replace(converted.begin(), converted.end(), '/', '\\');
  return converted;
}

}  // namespace

ScriptedRun runScripted(const std::string& script, const std::vector<std::string>& arguments,
                        const std::string& exe, const testing_support::ChildOptions& options) {
  const TemporaryFolder scratch("kelvane-dxva2-");
  const std::filesystem::path log = scratch.path() / "dxva2.log";
  setenv("DXVA2_STAND_IN_SCRIPT", script.c_str(), 1);
  setenv("DXVA2_STAND_IN_LOG", windowsPath(log).c_str(), 1);
  ScriptedRun run{runKelvane(arguments, exe, options), {}, {}};
  std::ifstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    (line.compare(0, 5, "load ") == 0 ? run.loads : run.calls).push_back(line);
  }
  return run;
}

void expectWellBehaved(const ScriptedRun& run, const std::string& err) {
  EXPECT_EQ(run.result.err, lineEnds(err));
  for (const std::string& load : run.loads) {
    const std::string path = lowerCase(load.substr(5));
    EXPECT_TRUE(path == "c:\\windows\\system32\\dxva2.dll" ||
                path == "c:\\windows\\syswow64\\dxva2.dll")
        << load;
  }
  EXPECT_EQ(run.loads.size(), run.calls.empty() ? 0U : 1U) << testing::PrintToString(run.loads);

  std::set<std::string> open;
  for (const std::string& call : run.calls) {
    SCOPED_TRACE(call);
    EXPECT_EQ(call.find("-> error 0xC026258C"), std::string::npos) << "a handle that is not open";
    std::istringstream words(call);
    std::string name;
    words >> name;
    if (name == "count") {
      EXPECT_EQ(open, std::set<std::string>()) << "enumerated again before all were destroyed";
    } else if (name == "fill" && call.find("-> ok") != std::string::npos) {
      std::istringstream handles(call.substr(call.find("-> ok") + 5));
      for (std::string handle; handles >> handle;) {
        open.insert(handle);
      }
    } else if (name == "destroy") {
      std::string handle;
      words >> handle;
      EXPECT_EQ(open.erase(handle), 1U) << "destroyed twice, or never opened";
    }
  }
  EXPECT_EQ(open, std::set<std::string>()) << "never destroyed";
}

Calls enumeration(const std::string& handles) {
  std::istringstream words(handles);
  std::size_t count = 0;
  for (std::string handle; words >> handle;) {
    ++count;
  }
  const std::string filled = "fill " + kDisplay + " " + std::to_string(count) + " -> ok";
  return {"count " + kDisplay + " -> ok " + std::to_string(count),
          handles.empty() ? filled : filled + " " + handles};
}

Calls destroying(const std::vector<std::string>& handles) {
  Calls calls;
  for (const std::string& handle : handles) {
    calls.push_back("destroy " + handle + " -> ok");
  }
  return calls;
}

Calls operator+(Calls first, const Calls& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

void expectOutput(const ScriptedRun& run, const std::string& out, int exitStatus,
                  const std::string& err) {
  ASSERT_TRUE(run.result.started) << "set KELVANE_EXE to kelvane.exe";
  ASSERT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.out, lineEnds(out));
  EXPECT_EQ(run.result.exitStatus, exitStatus);
  expectWellBehaved(run, err);
}

std::string physicalMonitorFailed(int place, int of, const std::string& call,
                                  const std::string& words, const std::string& code) {
  return expected::failed("\"Stand-in monitor " + std::to_string(place) + "\", physical monitor " +
                              std::to_string(place) + " of " + std::to_string(of) + " on " +
                              kDisplayName,
                          expected::exchangeFailed(call, words, code));
}

std::string displayMonitorFailed(const std::string& call, const std::string& words,
                                 const std::string& code) {
  return expected::failed("display monitor " + kDisplayName,
                          expected::otherCallFailed(call, words, code));
}

}  // namespace kelvane::dxva2_test
