// SPDX-License-Identifier: MIT
// Entry point of the tests that need a fake sysfs and /dev: they restart
// themselves under umockdev-wrapper, so that they run the same from CTest and
// by hand.
#include <gtest/gtest.h>

#include "emulated_desktop.h"

int main(int argc, char** argv) {
  kelvane::emulation::runUnderUmockdev(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
