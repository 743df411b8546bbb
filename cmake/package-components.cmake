# SPDX-License-Identifier: MIT
# Read by CPack once for each generator: which components make up each
# release file, and what the tarball is called.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL Unspecified package_documents deb_only)
elseif(CPACK_GENERATOR STREQUAL "RPM")
  set(CPACK_COMPONENTS_ALL Unspecified package_documents)
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL Unspecified tarball_only)
  # One folder named after the tarball, laid out like an installation prefix.
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_KELVANE_TARBALL_NAME}")
  set(CPACK_ARCHIVE_FILE_NAME "${CPACK_KELVANE_TARBALL_NAME}")
endif()
