# SPDX-License-Identifier: MIT
# Cross-compiling for another Linux architecture with Debian's cross
# compilers (g++-<triplet>). Included by the per-architecture toolchain
# files, which set KELVANE_LINUX_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${KELVANE_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KELVANE_LINUX_TRIPLET}-g++)

# Libraries and headers come from the cross sysroot only; programs run here.
set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
