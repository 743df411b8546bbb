# SPDX-License-Identifier: MIT
# Run by CPack for every release file twice: between staging and packing
# (CPACK_PRE_BUILD_SCRIPTS), and once the file is written
# (CPACK_POST_BUILD_SCRIPTS, which alone are given CPACK_PACKAGE_FILES).
#
# The same commit makes the same release files, byte for byte, whenever and
# wherever it is packed: every time in them is SOURCE_DATE_EPOCH, which is
# the time of the sources' last commit unless the environment says
# otherwise; their entries come in name order, owned by root, with the modes
# that the installation gives (group and others never write). rpmbuild
# takes the time from the environment too (see cmake/linux-package.cmake).
#
# Before packing, to give the Linux release files what Debian's own tools
# give a package, while `cmake --install` installs the build as it is:
# programs stripped like dh_strip does (symbols, and the .comment and .note
# sections that name the compiler), in every release file; in the .deb and
# the RPM, man pages and changelogs compressed with gzip -9n (no name or
# time stamp), as both kinds of distribution ship them. The tarball keeps
# the manual as `cmake --install` puts it.
#
# After packing, CPack's archives, which carry the packing time and the user
# who packed, are written again: a tarball by GNU tar, a .deb by dpkg-deb,
# the Windows zip by cmake/write-zip.py.
if(NOT CPACK_GENERATOR MATCHES "^(DEB|RPM|TGZ|ZIP)$")
  return()
endif()
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${status}")
  endif()
endfunction()

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_KELVANE_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE last_commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT last_commit MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No commit in ${CPACK_KELVANE_SOURCE_DIR} to date the release files by: "
      "set SOURCE_DATE_EPOCH (seconds since 1970) in the environment")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${last_commit}")
endif()
set(epoch "$ENV{SOURCE_DATE_EPOCH}")

if(NOT DEFINED CPACK_PACKAGE_FILES)
  if(CPACK_GENERATOR STREQUAL "ZIP")
    return()
  endif()
  file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")

  set(programs ${staged})
  list(FILTER programs INCLUDE REGEX "/bin/[^/]+$")
  foreach(program IN LISTS programs)
    run("${CPACK_KELVANE_STRIP}" --remove-section=.comment --remove-section=.note --strip-unneeded "${program}")
  endforeach()

  if(NOT CPACK_GENERATOR STREQUAL "TGZ")
    set(documents ${staged})
    list(FILTER documents INCLUDE REGEX "/share/(man/man[1-9]/[^/]+\\.[1-9]|doc/[^/]+/changelog)$")
    foreach(document IN LISTS documents)
      run(gzip -9nf "${document}")
    endforeach()
  endif()
  return()
endif()

if(CPACK_GENERATOR STREQUAL "RPM")
  return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(unpacked "${package}.unpacked")
  file(REMOVE_RECURSE "${unpacked}")
  file(MAKE_DIRECTORY "${unpacked}")
  if(CPACK_GENERATOR STREQUAL "TGZ")
    run(tar -xzf "${package}" -C "${unpacked}")
    file(GLOB top RELATIVE "${unpacked}" "${unpacked}/*")
    execute_process(
      COMMAND tar --format=gnu --sort=name --owner=0 --group=0 --numeric-owner
              --mtime=@${epoch} --mode=go=u-w -C "${unpacked}" -cf - ${top}
      COMMAND gzip -9n
      OUTPUT_FILE "${package}"
      RESULTS_VARIABLE statuses)
    if(NOT statuses MATCHES "^0;0$")
      message(FATAL_ERROR "writing ${package} again: ${statuses}")
    endif()
  elseif(CPACK_GENERATOR STREQUAL "DEB")
    # dpkg-deb dates the ar members by SOURCE_DATE_EPOCH and clamps the
    # files' times to it; it sorts the entries itself.
    run(dpkg-deb --raw-extract "${package}" "${unpacked}")
    run(chmod -R go=u-w "${unpacked}")
    run(find "${unpacked}" -exec touch -h -d @${epoch} {} +)
    run(dpkg-deb --root-owner-group -Zxz --build "${unpacked}" "${package}")
  elseif(CPACK_GENERATOR STREQUAL "ZIP")
    run(python3 "${CMAKE_CURRENT_LIST_DIR}/write-zip.py" "${package}" "${epoch}")
  endif()
  file(REMOVE_RECURSE "${unpacked}")
endforeach()
