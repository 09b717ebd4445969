# Installs a build into a scratch prefix, as `cmake --install` does for a user, and checks that
# the programs, their man pages and the demo land where the README and the man pages say, and
# that the installed program runs from there.
# Takes -DBUILD_DIR, -DPREFIX, -DMANDIR and -DDATADIR (the last two relative to the prefix).
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

set(missing "")
foreach(file bin/glyphreeler bin/glyphpack ${MANDIR}/man1/glyphreeler.1
    ${MANDIR}/man1/glyphpack.1 ${DATADIR}/glyphreeler/demo.frames)
  if(NOT EXISTS ${PREFIX}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not installed under ${PREFIX}: ${missing}")
endif()

execute_process(COMMAND ${PREFIX}/bin/glyphreeler RESULT_VARIABLE status OUTPUT_VARIABLE output)
if(NOT status EQUAL 1 OR NOT output STREQUAL "Usage: glyphreeler <input file>")
  message(FATAL_ERROR
    "installed glyphreeler without arguments: status ${status}, output '${output}'")
endif()
