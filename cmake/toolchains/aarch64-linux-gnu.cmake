# SPDX-License-Identifier: MIT
# 64-bit Arm Linux (arm64: the Raspberry Pi 3, 4, 5 and Zero 2 W on a 64-bit
# kernel, Arm servers), cross-built with Debian's g++-aarch64-linux-gnu.
set(KELVANE_LINUX_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
