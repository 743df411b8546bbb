# Run by CPack for every Linux release file twice: between staging and
# packing (CPACK_PRE_BUILD_SCRIPTS), and once the file is written
# (CPACK_POST_BUILD_SCRIPTS, which alone are given CPACK_PACKAGE_FILES).
#
# Before packing, to give the release files what Debian's own tools give a
# package, while `cmake --install` installs the build as it is: programs
# stripped like dh_strip does (symbols, and the .comment and .note sections
# that name the compiler), in every release file; in the .deb and the RPM,
# man pages and changelogs compressed with gzip -9n (no name or time stamp,
# so the package is the same from one build to the next), as both kinds of
# distribution ship them. The tarball keeps the manual as `cmake --install`
# puts it.
#
# After packing, a tarball is written again by GNU tar with its entries in
# name order and owned by root (0/0): CPack's own archives carry the user who
# built them, and whoever unpacks a release as root gets files owned as the
# archive says.
if(NOT CPACK_GENERATOR MATCHES "^(DEB|RPM|TGZ)$")
  return()
endif()
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${status}")
  endif()
endfunction()

if(NOT DEFINED CPACK_PACKAGE_FILES)
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
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  foreach(tarball IN LISTS CPACK_PACKAGE_FILES)
    set(unpacked "${tarball}.unpacked")
    file(REMOVE_RECURSE "${unpacked}")
    file(MAKE_DIRECTORY "${unpacked}")
    run(tar -xpzf "${tarball}" -C "${unpacked}")
    file(GLOB top RELATIVE "${unpacked}" "${unpacked}/*")
    execute_process(
      COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner -C "${unpacked}" -cf - ${top}
      COMMAND gzip -9n
      OUTPUT_FILE "${tarball}"
      RESULTS_VARIABLE statuses)
    if(NOT statuses MATCHES "^0;0$")
      message(FATAL_ERROR "writing ${tarball} again: ${statuses}")
    endif()
    file(REMOVE_RECURSE "${unpacked}")
  endforeach()
endif()
