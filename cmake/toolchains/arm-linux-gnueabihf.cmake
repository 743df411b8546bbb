# SPDX-License-Identifier: MIT
# 32-bit Arm Linux with hardware floating point (armhf: the Raspberry Pi 2, 3
# and Zero 2 W on a 32-bit kernel, where `uname -m` prints armv7l, and other
# ARMv7 boards), cross-built with Debian's g++-arm-linux-gnueabihf. Its code
# is Debian's armhf baseline, ARMv7-A with Thumb-2 and VFPv3-D16, which the
# ARMv6 of the Pi 1 and the first Pi Zero cannot run.
set(KELVANE_LINUX_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)

# The preset links it -static, not -static-pie: Debian's armhf C library has
# no start file for static position-independent programs (rcrt1.o).
