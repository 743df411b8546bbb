# Installation on Linux, and the release files made from it:
#
#   bin/kelvane
#   share/man/man1/kelvane.1
#   lib/udev/rules.d/60-kelvane-i2c.rules   the logged-in user may open display buses only
#   lib/modules-load.d/kelvane-i2c-dev.conf loads i2c-dev at boot
#
# udev and systemd-modules-load read the last two under both /usr and
# /usr/local; a distribution that keeps them elsewhere sets the two cache
# variables.
#
# Packed by CPack (the package presets choose the generators):
#   DEB  kelvane_<version>_<arch>.deb: those files under /usr, the documents
#        under /usr/share/doc/kelvane, Debian's changelog and lintian overrides
#   RPM  kelvane-<version>-1.<arch>.rpm: the same files at the same paths,
#        the changelog in the package's header
#   TGZ  kelvane-<version>-linux-<arch>.tar.gz: the installation tree in one
#        folder, with the README and an INSTALL text at its top
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

# The rest belongs to the release files only, each to those listed in
# cmake/package-components.cmake: the documents of a package, Debian's own
# files (a changelog under share/doc, and lintian is told which of its
# findings are intended), and the tarball's README and INSTALL text.
install(FILES ${linux_packaging}/copyright ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvane COMPONENT package_documents EXCLUDE_FROM_ALL)
install(FILES ${linux_packaging}/changelog
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvane COMPONENT deb_only EXCLUDE_FROM_ALL)
install(FILES ${linux_packaging}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kelvane
  COMPONENT deb_only EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${linux_packaging}/INSTALL
  DESTINATION . COMPONENT tarball_only EXCLUDE_FROM_ALL)

# Release files name the architecture as the distributions do.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(release_architecture arm64)
  set(rpm_architecture aarch64)
else()
  set(release_architecture ${CMAKE_SYSTEM_PROCESSOR})
  set(rpm_architecture ${CMAKE_SYSTEM_PROCESSOR})
endif()

set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_PACKAGE_CONTACT "Kelvane developers <developers@kelvane.invalid>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped as Debian strips: symbols, and the compiler's notes (see
# cmake/package-finishing.cmake).
set(CPACK_STRIP_FILES OFF)
set(CPACK_KELVANE_STRIP "${CMAKE_STRIP}")
# One package from the components that cmake/package-components.cmake
# chooses for each generator.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_RPM_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package-components.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-finishing.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-finishing.cmake)

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "switch the power mode of every attached monitor over DDC/CI")
set(CPACK_PACKAGE_DESCRIPTION "Kelvane switches every attached monitor to On, Standby, Suspend, Off or
HardOff, and reports the power mode of the first one, through the VESA
power-mode control (VCP code 0xD6) of DDC/CI. It is meant for consoles,
scripts and hotkeys: blanking the screens at night, resting an OLED panel,
waking a wall of monitors.

It speaks DDC/CI itself through the kernel's i2c-dev interface, and only on
the DDC buses of connected DRM connectors. The package loads i2c-dev at
boot and gives the logged-in user access to the I2C buses of display
controllers only, so that no root rights are needed.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${linux_packaging}/postinst;${linux_packaging}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The RPM holds the static program of the tarball (preset linux-x86_64), so
# that one file installs on every RPM distribution whatever its C and C++
# runtime libraries, and runs the .deb's maintainer scripts, which know
# rpm's arguments too.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${rpm_architecture})
set(CPACK_RPM_PACKAGE_SUMMARY "Switch the power mode of every attached monitor over DDC/CI")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# No licence has been chosen yet: the copyright file says so.
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-All-Rights-Reserved")
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_CHANGELOG_FILE ${linux_packaging}/rpm-changelog)
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE ${linux_packaging}/postinst)
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE ${linux_packaging}/postrm)
# The udev rule is read only where the package puts it.
set(CPACK_PACKAGE_RELOCATABLE OFF)
# The folders that the system's packages own (udev's, systemd's, man's) are
# not the package's: it owns only its documents folder.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
  /usr/lib/udev /usr/lib/udev/rules.d /usr/lib/modules-load.d
  /usr/share/man /usr/share/man/man1)
set(CPACK_RPM_USER_FILELIST
  "%doc /usr/share/doc/kelvane/README.md"
  "%license /usr/share/doc/kelvane/copyright")
# Requirements are what rpmbuild finds the files need, less the runtime
# linker that it infers from the hash table every position-independent
# program has: a static one starts without it. No debug package and no
# /usr/lib/.build-id links, which only serve one; the packager is named.
set(CPACK_RPM_SPEC_MORE_DEFINE "%global __requires_exclude ^rtld[(]GNU_HASH[)]$
%define _build_id_links none
%define packager ${CPACK_PACKAGE_CONTACT}")

set(CPACK_KELVANE_TARBALL_NAME kelvane-${PROJECT_VERSION}-linux-${release_architecture})
include(CPack)
