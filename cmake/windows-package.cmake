# SPDX-License-Identifier: MIT
# The Windows release: a zip of kelvane.exe and the README, side by side at
# the top of the archive, named kelvane-<version>-win32.zip for the 32-bit
# build (win64 for the 64-bit one).
install(TARGETS kelvane RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_GENERATOR ZIP)
# Explorer's "Extract All" already makes a folder named after the archive.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Written again in name order and dated by SOURCE_DATE_EPOCH, as the Linux
# release files are.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-finishing.cmake)
set(CPACK_KELVANE_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
