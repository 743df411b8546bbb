# Installation on Linux, and the Debian package made from it:
#
#   bin/kelvane
#   share/man/man1/kelvane.1
#   lib/udev/rules.d/60-kelvane-i2c.rules   the logged-in user may open display buses only
#   lib/modules-load.d/kelvane-i2c-dev.conf loads i2c-dev at boot
#
# udev and systemd-modules-load read the last two under both /usr and
# /usr/local; a distribution that keeps them elsewhere sets the two cache
# variables.
include(GNUInstallDirs)

set(KELVANE_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
  "Where the udev rule is installed, relative to the prefix unless absolute")
set(KELVANE_MODULES_LOAD_DIR "lib/modules-load.d" CACHE STRING
  "Where the modules-load.d file is installed, relative to the prefix unless absolute")

set(linux_packaging ${PROJECT_SOURCE_DIR}/packaging/linux)

configure_file(${PROJECT_SOURCE_DIR}/doc/kelvane.1.in ${PROJECT_BINARY_DIR}/kelvane.1 @ONLY)

install(TARGETS kelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/kelvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${linux_packaging}/60-kelvane-i2c.rules DESTINATION ${KELVANE_UDEV_RULES_DIR})
install(FILES ${linux_packaging}/kelvane-i2c-dev.conf DESTINATION ${KELVANE_MODULES_LOAD_DIR})

# The rest is for the .deb only: Debian wants a copyright file and a
# changelog under share/doc, and the maintainer scripts; lintian is told which
# of its findings are intended.
install(FILES ${linux_packaging}/copyright ${linux_packaging}/changelog ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvane COMPONENT deb_only EXCLUDE_FROM_ALL)
install(FILES ${linux_packaging}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kelvane
  COMPONENT deb_only EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_PACKAGE_CONTACT "Kelvane developers <developers@kelvane.invalid>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped as Debian strips: symbols, and the compiler's notes (see below).
set(CPACK_STRIP_FILES OFF)
set(CPACK_KELVANE_STRIP "${CMAKE_STRIP}")
# One package from both components: the files `cmake --install` puts in place
# and the Debian-only documents.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified deb_only)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "switch the power mode of every attached monitor over DDC/CI")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kelvane switches every attached monitor to On, Standby, Suspend, Off or
HardOff, and reports the power mode of the first one, through the VESA
power-mode control (VCP code 0xD6) of DDC/CI. It is meant for consoles,
scripts and hotkeys: blanking the screens at night, resting an OLED panel,
waking a wall of monitors.

It speaks DDC/CI itself through the kernel's i2c-dev interface, and only on
the DDC buses of connected DRM connectors. The package loads i2c-dev at
boot and gives the logged-in user access to the I2C buses of display
controllers only, so that no root rights are needed.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${linux_packaging}/postinst;${linux_packaging}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb-finishing.cmake)
include(CPack)
