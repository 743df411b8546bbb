// SPDX-License-Identifier: MIT
// The Windows monitor configuration API (dxva2), as far as Kelvane uses it.
//
// The Windows SDK declares it in physicalmonitorenumerationapi.h and
// lowlevelmonitorconfigurationapi.h. MinGW-w64 up to at least version 10 ships
// only the first, so the two low-level calls and their code-type enum are
// declared here from the Windows documentation when the header is missing.
// Nothing links against dxva2: dxva2_loader.h loads it at run time, and the
// declarations give the types of the functions it looks up.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <physicalmonitorenumerationapi.h>

#if __has_include(<lowlevelmonitorconfigurationapi.h>)
#include <lowlevelmonitorconfigurationapi.h>
#else
extern "C" {

// https://learn.microsoft.com/windows/win32/api/lowlevelmonitorconfigurationapi/ne-lowlevelmonitorconfigurationapi-mc_vcp_code_type
enum MC_VCP_CODE_TYPE { MC_MOMENTARY, MC_SET_PARAMETER };
using LPMC_VCP_CODE_TYPE = MC_VCP_CODE_TYPE*;

// WINAPI matters: on x86 dxva2 exports these as __stdcall (_SetVCPFeature@12).
BOOL WINAPI SetVCPFeature(HANDLE hMonitor, BYTE bVCPCode, DWORD dwNewValue);
BOOL WINAPI GetVCPFeatureAndVCPFeatureReply(HANDLE hMonitor, BYTE bVCPCode, LPMC_VCP_CODE_TYPE pvct,
                                            LPDWORD pdwCurrentValue, LPDWORD pdwMaximumValue);

}  // extern "C"
#endif
