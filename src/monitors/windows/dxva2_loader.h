// SPDX-License-Identifier: MIT
// dxva2, loaded at run time from the system folder only. It is not one of the
// KnownDLLs, so an import of it would be looked for first in the folder the
// program runs from: a portable tool unpacked into Downloads would load any
// dxva2.dll lying beside it. Without dxva2 there is no physical monitor.
#pragma once

#include "monitors/windows/monitor_configuration_api.h"

namespace kelvane::windows_api {

// The five dxva2 entry points, typed as the API header declares them.
struct Dxva2 {
  decltype(&::GetNumberOfPhysicalMonitorsFromHMONITOR) getNumberOfPhysicalMonitorsFromHMONITOR;
  decltype(&::GetPhysicalMonitorsFromHMONITOR) getPhysicalMonitorsFromHMONITOR;
  decltype(&::SetVCPFeature) setVCPFeature;
  decltype(&::GetVCPFeatureAndVCPFeatureReply) getVCPFeatureAndVCPFeatureReply;
  decltype(&::DestroyPhysicalMonitor) destroyPhysicalMonitor;
};

// Loaded on first use and kept until the process ends; nullptr when it could
// not be loaded, or lacks one of the five.
const Dxva2* dxva2();

// Why dxva2() is nullptr: the error of the load, or ERROR_PROC_NOT_FOUND.
DWORD dxva2LoadError();

}  // namespace kelvane::windows_api
