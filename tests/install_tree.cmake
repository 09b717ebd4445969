# Installs a build into a scratch prefix, as `cmake --install` does for a user, and checks that
# the programs, their man pages and the demo land where the README and the man pages say, and
# that the installed program runs from there.
# Takes -DBUILD_DIR, -DPREFIX, -DMANDIR and -DDATADIR (the last two relative to the prefix), and
# -DPAGE_HEADER_END, the date and version that end each page's .TH line before its section name.
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

# The pages as the build made them: their headers name this version and its date.
foreach(page glyphreeler glyphpack)
  file(STRINGS ${PREFIX}/${MANDIR}/man1/${page}.1 header LIMIT_COUNT 1)
  string(TOUPPER ${page} title)
  if(NOT header STREQUAL ".TH ${title} 1 ${PAGE_HEADER_END} \"User Commands\"")
    message(FATAL_ERROR "installed ${page}.1 begins '${header}', not with the date and version "
      "${PAGE_HEADER_END}")
  endif()
endforeach()

execute_process(COMMAND ${PREFIX}/bin/glyphreeler RESULT_VARIABLE status OUTPUT_VARIABLE output)
if(NOT status EQUAL 1 OR NOT output STREQUAL "Usage: glyphreeler <input file>")
  message(FATAL_ERROR
    "installed glyphreeler without arguments: status ${status}, output '${output}'")
endif()
