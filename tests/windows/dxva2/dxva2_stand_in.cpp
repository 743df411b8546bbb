// SPDX-License-Identifier: MIT
// A stand-in for dxva2.dll, the Windows monitor configuration service, so
// that kelvane.exe can run under Wine against physical monitors that answer.
// Wine's own dxva2 fails every call with ERROR_CALL_NOT_IMPLEMENTED (120).
//
// The test scripts the monitors through the environment and reads back a
// log of every call:
//
// DXVA2_STAND_IN_SCRIPT: statements, separated by ';' or new lines.
//   monitors [HANDLE[=POWER]]...
//       The records GetPhysicalMonitorsFromHMONITOR fills, in this order (a
//       handle may repeat), and so the count. POWER is the monitor's VCP 0xD6
//       value, 1 when not given; a successful Set changes it. "monitors"
//       alone means none. Without this statement there are none.
//   CALL [HANDLE] fails CODE [once]
//       CALL is count, fill, get, set or destroy; get, set and destroy name
//       the physical monitor. The call fails and GetLastError() gives CODE.
//       "once" fails only the next such call; statements for the same call
//       and monitor take effect in their order, so "get 0x10 fails
//       0xC0262582 once; get 0x10 fails 31" fails once with the first code,
//       then always with the second.
//   Numbers are decimal or 0x-hexadecimal. Without the variable every call
//   fails with 120, as in Wine. A script that cannot be read fails every call
//   with ERROR_INVALID_DATA (13) and says why in the log.
//
// DXVA2_STAND_IN_LOG: a file (Windows path) that gets one line per event,
// appended as it happens, so that a crash leaves everything before it:
//   load C:\windows\system32\dxva2.dll     when a copy of this DLL is loaded
//   count 0x1 -> ok 3                      display monitor 0x1 has 3
//   fill 0x1 3 -> ok 0x30 0x10 0x30        the handles it filled in
//   get 0x10 0xD6 -> ok 4                  the value read
//   set 0x10 0xD6 4 -> ok
//   destroy 0x10 -> ok
//   get 0x10 0xD6 -> error 0xC0262582      any failure, with its code
//   script error: <why>
//
// Like dxva2, a handle works from the fill that returns it until it is
// destroyed; a call on any other handle fails with
// ERROR_GRAPHICS_INVALID_PHYSICAL_MONITOR_HANDLE, and a VCP code other than
// 0xD6 with ERROR_GRAPHICS_DDCCI_VCP_NOT_SUPPORTED.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <physicalmonitorenumerationapi.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "monitors/hex_text.h"

namespace {

constexpr DWORD kCallNotImplemented = ERROR_CALL_NOT_IMPLEMENTED;
constexpr DWORD kInvalidData = ERROR_INVALID_DATA;
constexpr DWORD kInvalidParameter = ERROR_INVALID_PARAMETER;
constexpr DWORD kVcpNotSupported = 0xC0262584;  // ERROR_GRAPHICS_DDCCI_VCP_NOT_SUPPORTED
constexpr DWORD kInvalidHandle = 0xC026258C;    // ..._INVALID_PHYSICAL_MONITOR_HANDLE
constexpr DWORD kArrayTooSmall = 0xC02625E6;    // ERROR_GRAPHICS_PARAMETER_ARRAY_TOO_SMALL
constexpr BYTE kPowerModeVcpCode = 0xD6;
constexpr DWORD kPowerModeMaximum = 5;
constexpr int kMcSetParameter = 1;  // MC_VCP_CODE_TYPE: MC_MOMENTARY, MC_SET_PARAMETER

struct Failure {
  DWORD code;
  bool once;
};

struct Monitor {
  DWORD power = 1;
  bool open = false;
};

// The scripted world. One per process: dxva2 itself keeps its handles in
// process-wide state, and the program under test sees only the five calls.
struct World {
  bool scripted = false;
  std::string scriptError;
  std::vector<std::uintptr_t> records;
  std::map<std::uintptr_t, Monitor> monitors;
  // Keyed by call name and handle (0 for count and fill).
  std::map<std::pair<std::string, std::uintptr_t>, std::deque<Failure>> failures;
};

std::string environment(const char* name) {
  char value[32768];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length == 0 || length >= sizeof value ? std::string() : std::string(value, length);
}

bool environmentSet(const char* name) {
  return GetEnvironmentVariableA(name, nullptr, 0) != 0;
}

std::string hex(std::uintptr_t value) {
  return kelvane::hexNumber(value);
}

void logLine(const std::string& line) {
  // The logging must not disturb the error code the caller is about to read.
  const DWORD lastError = GetLastError();
  const std::string path = environment("DXVA2_STAND_IN_LOG");
  if (path.empty()) {
    SetLastError(lastError);
    return;
  }
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
  }
  SetLastError(lastError);
}

std::optional<std::uintptr_t> number(const std::string& word) {
  if (word.empty()) {
    return std::nullopt;
  }
  char* end = nullptr;
  const bool hexadecimal = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  const unsigned long long value =
      std::strtoull(word.c_str() + (hexadecimal ? 2 : 0), &end, hexadecimal ? 16 : 10);
  if (*end != '\0' || word[hexadecimal ? 2 : 0] == '-' ||
      value > static_cast<unsigned long long>(UINTPTR_MAX)) {
    return std::nullopt;
  }
  return static_cast<std::uintptr_t>(value);
}

std::vector<std::string> words(const std::string& statement) {
  std::vector<std::string> found;
  std::size_t at = 0;
  while ((at = statement.find_first_not_of(" \t\r", at)) != std::string::npos) {
    const std::size_t end = statement.find_first_of(" \t\r", at);
    found.push_back(statement.substr(at, end - at));
    at = end;
  }
  return found;
}

// Returns what is wrong with the statement, or nothing.
std::string applyStatement(const std::vector<std::string>& w, World& world) {
  if (w[0] == "monitors") {
    world.records.clear();
    for (std::size_t i = 1; i < w.size(); ++i) {
      const std::size_t equals = w[i].find('=');
      const auto handle = number(w[i].substr(0, equals));
      const auto power = equals == std::string::npos ? std::optional<std::uintptr_t>(1)
                                                     : number(w[i].substr(equals + 1));
      if (!handle || !power || *power > 0xFFFFFFFFu) {
        return "bad monitor '" + w[i] + "'";
      }
      world.records.push_back(*handle);
      auto [monitor, added] = world.monitors.try_emplace(*handle);
      if (added || equals != std::string::npos) {
        monitor->second.power = static_cast<DWORD>(*power);
      }
    }
    return "";
  }
  const bool perMonitor = w[0] == "get" || w[0] == "set" || w[0] == "destroy";
  if (!perMonitor && w[0] != "count" && w[0] != "fill") {
    return "unknown statement '" + w[0] + "'";
  }
  const std::size_t at = perMonitor ? 2 : 1;
  std::optional<std::uintptr_t> handle = 0;
  if (perMonitor) {
    handle = w.size() > 1 ? number(w[1]) : std::nullopt;
  }
  const bool once = w.size() == at + 3 && w[at + 2] == "once";
  if (!handle || w.size() < at + 2 || w[at] != "fails" || (w.size() != at + 2 && !once)) {
    return "expected '" + w[0] + (perMonitor ? " HANDLE" : "") + " fails CODE [once]'";
  }
  const auto code = number(w[at + 1]);
  if (!code || *code > 0xFFFFFFFFu) {
    return "bad error code '" + w[at + 1] + "'";
  }
  world.failures[{w[0], *handle}].push_back({static_cast<DWORD>(*code), once});
  return "";
}

World readScript() {
  World world;
  if (!environmentSet("DXVA2_STAND_IN_SCRIPT")) {
    return world;
  }
  world.scripted = true;
  const std::string script = environment("DXVA2_STAND_IN_SCRIPT");
  std::size_t start = 0;
  while (start <= script.size()) {
    std::size_t end = script.find_first_of(";\n", start);
    if (end == std::string::npos) {
      end = script.size();
    }
    const std::vector<std::string> w = words(script.substr(start, end - start));
    if (!w.empty()) {
      const std::string error = applyStatement(w, world);
      if (!error.empty()) {
        world.scriptError = error;
        logLine("script error: " + error);
        return world;
      }
    }
    start = end + 1;
  }
  return world;
}

World& scriptedWorld() {
  static World instance = readScript();
  return instance;
}

// The failure a call meets before it does anything, if any.
std::optional<DWORD> failure(const std::string& call, std::uintptr_t handle, bool needsOpenHandle) {
  World& w = scriptedWorld();
  if (!w.scripted) {
    return kCallNotImplemented;
  }
  if (!w.scriptError.empty()) {
    return kInvalidData;
  }
  if (needsOpenHandle) {
    const auto monitor = w.monitors.find(handle);
    if (monitor == w.monitors.end() || !monitor->second.open) {
      return kInvalidHandle;
    }
  }
  const auto scripted = w.failures.find({call, handle});
  if (scripted == w.failures.end() || scripted->second.empty()) {
    return std::nullopt;
  }
  const Failure next = scripted->second.front();
  if (next.once) {
    scripted->second.pop_front();
  }
  return next.code;
}

BOOL fail(const std::string& call, DWORD code) {
  logLine(call + " -> error " + hex(code));
  SetLastError(code);
  return FALSE;
}

BOOL succeed(const std::string& call, const std::string& result) {
  logLine(call + " -> ok" + (result.empty() ? "" : " " + result));
  return TRUE;
}

std::uintptr_t numeric(HANDLE handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    char narrow[4 * MAX_PATH];
    const int converted = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), narrow,
                                              sizeof narrow, nullptr, nullptr);
    logLine("load " + std::string(narrow, converted > 0 ? static_cast<std::size_t>(converted) : 0));
  }
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    GetNumberOfPhysicalMonitorsFromHMONITOR(HMONITOR monitor, LPDWORD count) {
  const std::string call = "count " + hex(numeric(monitor));
  if (const auto code = failure("count", 0, false)) {
    return fail(call, *code);
  }
  if (count == nullptr) {
    return fail(call, kInvalidParameter);
  }
  *count = static_cast<DWORD>(scriptedWorld().records.size());
  return succeed(call, std::to_string(*count));
}

__declspec(dllexport) BOOL WINAPI
    GetPhysicalMonitorsFromHMONITOR(HMONITOR monitor, DWORD size, LPPHYSICAL_MONITOR records) {
  const std::string call = "fill " + hex(numeric(monitor)) + " " + std::to_string(size);
  if (const auto code = failure("fill", 0, false)) {
    return fail(call, *code);
  }
  World& w = scriptedWorld();
  if (size < w.records.size()) {
    return fail(call, kArrayTooSmall);
  }
  if (size > w.records.size() || (size > 0 && records == nullptr)) {
    return fail(call, kInvalidParameter);
  }
  std::string filled;
  for (std::size_t i = 0; i < w.records.size(); ++i) {
    const std::uintptr_t handle = w.records[i];
    w.monitors[handle].open = true;
    records[i].hPhysicalMonitor = reinterpret_cast<HANDLE>(handle);
    const std::wstring description = L"Stand-in monitor " + std::to_wstring(i + 1);
    lstrcpynW(records[i].szPhysicalMonitorDescription, description.c_str(),
              PHYSICAL_MONITOR_DESCRIPTION_SIZE);
    filled += (i == 0 ? "" : " ") + hex(handle);
  }
  return succeed(call, filled);
}

__declspec(dllexport) BOOL WINAPI
    GetVCPFeatureAndVCPFeatureReply(HANDLE monitor, BYTE code, int* type, LPDWORD current,
                                    LPDWORD maximum) {
  const std::string call = "get " + hex(numeric(monitor)) + " " + hex(code);
  if (const auto failed = failure("get", numeric(monitor), true)) {
    return fail(call, *failed);
  }
  if (code != kPowerModeVcpCode) {
    return fail(call, kVcpNotSupported);
  }
  const DWORD power = scriptedWorld().monitors[numeric(monitor)].power;
  if (type != nullptr) {
    *type = kMcSetParameter;
  }
  if (current != nullptr) {
    *current = power;
  }
  if (maximum != nullptr) {
    *maximum = kPowerModeMaximum;
  }
  return succeed(call, std::to_string(power));
}

__declspec(dllexport) BOOL WINAPI SetVCPFeature(HANDLE monitor, BYTE code, DWORD newValue) {
  const std::string call =
      "set " + hex(numeric(monitor)) + " " + hex(code) + " " + std::to_string(newValue);
  if (const auto failed = failure("set", numeric(monitor), true)) {
    return fail(call, *failed);
  }
  if (code != kPowerModeVcpCode) {
    return fail(call, kVcpNotSupported);
  }
  scriptedWorld().monitors[numeric(monitor)].power = newValue;
  return succeed(call, "");
}

__declspec(dllexport) BOOL WINAPI DestroyPhysicalMonitor(HANDLE monitor) {
  const std::string call = "destroy " + hex(numeric(monitor));
  if (const auto failed = failure("destroy", numeric(monitor), true)) {
    return fail(call, *failed);
  }
  scriptedWorld().monitors[numeric(monitor)].open = false;
  return succeed(call, "");
}

}  // extern "C"
