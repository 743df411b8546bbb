// SPDX-License-Identifier: MIT
#include "monitors/windows/dxva2_loader.h"

#include <cwchar>
#include <iterator>
#include <optional>

#include "monitors/hex_text.h"
#include "monitors/windows/windows_trace.h"

namespace kelvane::windows_api {
namespace {

DWORD& loadError() {
  static DWORD error = 0;
  return error;
}

HMODULE loadFromSystemFolder() {
  HMODULE module = LoadLibraryExW(L"dxva2.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
    return module;
  }
  // Windows 7 without update KB2533623 does not know the flag. The full path
  // names the same file; the altered search path makes dxva2's own imports
  // come from its folder too, not from the program's.
  constexpr wchar_t kFileName[] = L"\\dxva2.dll";
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + std::size(kFileName) > MAX_PATH) {
    return nullptr;
  }
  std::wmemcpy(path + length, kFileName, std::size(kFileName));
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
bool lookUp(HMODULE module, const char* name, Function* function) {
  // FARPROC stands for any signature; void (*)() is the cast that says so.
  *function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  return *function != nullptr;
}

std::optional<Dxva2> loadDxva2() {
  HMODULE module = loadFromSystemFolder();
  if (module == nullptr) {
    loadError() = GetLastError();
    trace("LoadLibraryExW(dxva2.dll, system folder) -> NULL, error " + hexNumber(loadError()));
    return std::nullopt;
  }
  trace("LoadLibraryExW(dxva2.dll, system folder) -> loaded");
  Dxva2 functions{};
  if (!lookUp(module, "GetNumberOfPhysicalMonitorsFromHMONITOR",
              &functions.getNumberOfPhysicalMonitorsFromHMONITOR) ||
      !lookUp(module, "GetPhysicalMonitorsFromHMONITOR",
              &functions.getPhysicalMonitorsFromHMONITOR) ||
      !lookUp(module, "SetVCPFeature", &functions.setVCPFeature) ||
      !lookUp(module, "GetVCPFeatureAndVCPFeatureReply",
              &functions.getVCPFeatureAndVCPFeatureReply) ||
      !lookUp(module, "DestroyPhysicalMonitor", &functions.destroyPhysicalMonitor)) {
    // Not the dxva2 this program was written for: use none of it.
    loadError() = ERROR_PROC_NOT_FOUND;
    trace("GetProcAddress: dxva2.dll lacks a monitor configuration function");
    FreeLibrary(module);
    return std::nullopt;
  }
  return functions;
}

}  // namespace

// The seam has no object to own the module, and unloading at exit gains
// nothing.
const Dxva2* dxva2() {
  static const std::optional<Dxva2> loaded = loadDxva2();
  return loaded ? &*loaded : nullptr;
}

DWORD dxva2LoadError() {
  return loadError();
}

}  // namespace kelvane::windows_api
