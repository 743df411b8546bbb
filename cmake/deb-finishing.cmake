# Run by CPack between staging and packing, to give the .deb what Debian's
# own tools give a package, while `cmake --install` installs the build as it
# is: programs stripped like dh_strip does (symbols, and the .comment and
# .note sections that name the compiler), man pages and changelogs compressed
# with gzip -9n (no name or time stamp, so the package is the same from one
# build to the next).
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${status}")
  endif()
endfunction()

file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")

set(programs ${staged})
list(FILTER programs INCLUDE REGEX "/bin/[^/]+$")
foreach(program IN LISTS programs)
  run("${CPACK_KELVANE_STRIP}" --remove-section=.comment --remove-section=.note --strip-unneeded "${program}")
endforeach()

set(documents ${staged})
list(FILTER documents INCLUDE REGEX "/share/(man/man[1-9]/[^/]+\\.[1-9]|doc/[^/]+/changelog)$")
foreach(document IN LISTS documents)
  run(gzip -9nf "${document}")
endforeach()
