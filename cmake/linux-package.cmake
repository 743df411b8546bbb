# SPDX-License-Identifier: MIT
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
#        under /usr/share/doc/kelvane, Debian's changelog and lintian
#        overrides; for amd64 from the native build, for arm64 and armhf from
#        the static programs of their tarballs
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

# The folders that installing makes are rwxr-xr-x whatever the umask of
# whoever builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

configure_file(${PROJECT_SOURCE_DIR}/doc/kelvane.1.in ${PROJECT_BINARY_DIR}/kelvane.1 @ONLY)

install(TARGETS kelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/kelvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${linux_packaging}/60-kelvane-i2c.rules DESTINATION ${KELVANE_UDEV_RULES_DIR})
install(FILES ${linux_packaging}/kelvane-i2c-dev.conf DESTINATION ${KELVANE_MODULES_LOAD_DIR})

# The static program (in the tarballs, the RPM and the arm64 and armhf
# packages) needs no library: its package depends on none, and lintian,
# which takes a static program (-static) or a static-pie one (-static-pie)
# for a mistake, is told that it is intended, in lintian-overrides-static or
# lintian-overrides-static-pie.
string(REGEX MATCH "(^| )-static(-pie)?( |$)" linkage "${CMAKE_EXE_LINKER_FLAGS}")
string(STRIP "${linkage}" linkage)
if(linkage)
  set(static_program ON)
  set(lintian_overrides ${PROJECT_BINARY_DIR}/lintian-overrides)
  file(READ ${linux_packaging}/lintian-overrides common_overrides)
  file(READ ${linux_packaging}/lintian-overrides${linkage} static_overrides)
  file(CONFIGURE OUTPUT ${lintian_overrides} CONTENT "${common_overrides}${static_overrides}" @ONLY)
else()
  set(static_program OFF)
  set(lintian_overrides ${linux_packaging}/lintian-overrides)
endif()

# The rest belongs to the release files only, each to those listed in
# cmake/package-components.cmake: the documents of a package, Debian's own
# files (a changelog under share/doc, and lintian is told which of its
# findings are intended), and the tarball's README and INSTALL text.
install(FILES ${linux_packaging}/copyright ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvane COMPONENT package_documents EXCLUDE_FROM_ALL)
install(FILES ${linux_packaging}/changelog
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvane COMPONENT deb_only EXCLUDE_FROM_ALL)
install(FILES ${lintian_overrides}
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kelvane
  COMPONENT deb_only EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${linux_packaging}/INSTALL
  DESTINATION . COMPONENT tarball_only EXCLUDE_FROM_ALL)

# Release files name the architecture as the distributions do.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(release_architecture arm64)
  set(rpm_architecture aarch64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  set(release_architecture armhf)
  set(rpm_architecture armv7hl)
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
set(CPACK_KELVANE_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-finishing.cmake)

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "switch the power mode of every attached monitor over DDC/CI")
set(CPACK_PACKAGE_DESCRIPTION "Kelvane switches every attached monitor to On, Standby, Suspend, Off or
HardOff, and reports the power mode of the first one, through the VESA
power-mode control (VCP code 0xD6) of DDC/CI. It is meant for consoles,
scripts and hotkeys: blanking the screens at night, resting an OLED panel,
waking a wall of monitors.

It speaks DDC/CI itself through the kernel's i2c-dev interface, and only on
the buses of external monitors, never a laptop panel's. The package loads
i2c-dev at boot and gives the logged-in user access to the I2C buses of
display controllers only, so that no root rights are needed.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(static_program)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
if(CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${release_architecture})
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${linux_packaging}/preinst;${linux_packaging}/postinst;${linux_packaging}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The RPM holds the static program of the tarball (preset linux-x86_64), so
# that one file installs on every RPM distribution whatever its C and C++
# runtime libraries, and runs the .deb's maintainer scripts, which know
# rpm's arguments too; all but the preinst, which only ever refuses an
# armhf .deb.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${rpm_architecture})
set(CPACK_RPM_PACKAGE_SUMMARY "Switch the power mode of every attached monitor over DDC/CI")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_LICENSE MIT)
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
# The same sources make the same file: the build time is SOURCE_DATE_EPOCH
# (cmake/package-finishing.cmake sets it), no file is newer, and the build
# host is a fixed name, not this machine's.
set(CPACK_RPM_SPEC_MORE_DEFINE "%global __requires_exclude ^rtld[(]GNU_HASH[)]$
%define _build_id_links none
%define packager ${CPACK_PACKAGE_CONTACT}
%define source_date_epoch_from_changelog 0
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost kelvane.invalid")

set(CPACK_KELVANE_TARBALL_NAME kelvane-${PROJECT_VERSION}-linux-${release_architecture})
include(CPack)
