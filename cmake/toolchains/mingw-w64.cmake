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
# The release carries no symbol table: it is most of the size of a static build.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
