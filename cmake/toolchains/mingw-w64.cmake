# SPDX-License-Identifier: MIT
# Cross-compiling for Windows with Debian's MinGW-w64 (the posix-thread
# variants of the compilers). Included by the per-architecture toolchain
# files, which set KELVANE_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KELVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVANE_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot only; programs run here.
set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A plain copy of the program must start on any Windows: link the C and C++
# runtimes and winpthreads in, so that it imports system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Hardening. binutils already marks the images DYNAMIC_BASE and NX_COMPAT
# (and HIGH_ENTROPY_VA on x64); to that, stack protection and checked buffer
# functions. Both come from libssp, which -static links in as well: the canary
# is then seeded through ADVAPI32, a system DLL, and no libssp-0.dll is needed.
set(CMAKE_C_FLAGS_INIT "-fstack-protector-strong -D_FORTIFY_SOURCE=2")
set(CMAKE_CXX_FLAGS_INIT "-fstack-protector-strong -D_FORTIFY_SOURCE=2")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -fstack-protector-strong")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fstack-protector-strong")
# The release carries no symbol table: it is most of the size of a static build.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
# No link time in the PE header (0 instead), so that the same sources link
# to the same file at any time.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
