# SPDX-License-Identifier: MIT
# 64-bit Windows (x64): the build that Debian's 64-bit Wine runs in the tests.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KELVANE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
