# Run by CPack between staging and packing, to give the .deb what Debian's
# own tools give a package, while `cmake --install` installs the build as it
# is: programs stripped like dh_strip does (symbols, and the .comment and
# .note sections that name the compiler), man pages and changelogs compressed
# with gzip -9n (no name or time stamp, so the package is the same from one
# build to the next).
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")

set(programs ${staged})
list(FILTER programs INCLUDE REGEX "/bin/[^/]+$")
foreach(program IN LISTS programs)
  execute_process(
    COMMAND "${CPACK_KELVANE_STRIP}" --remove-section=.comment --remove-section=.note
            --strip-unneeded "${program}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip ${program} failed: ${status}")
  endif()
endforeach()
set(documents ${staged})
list(FILTER documents INCLUDE REGEX "/share/(man/man[1-9]/[^/]+\\.[1-9]|doc/[^/]+/changelog)$")
foreach(document IN LISTS documents)
  execute_process(COMMAND gzip -9nf "${document}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${document} failed: ${status}")
  endif()
endforeach()
