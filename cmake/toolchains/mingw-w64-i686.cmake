# SPDX-License-Identifier: MIT
# 32-bit Windows (x86), the program as released.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KELVANE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
