# Run by CPack on the staged files of the .deb, before they are packed: Debian keeps man pages
# gzipped. Only the package's copies change; `cmake --install` still installs them plain.
find_program(GZIP gzip REQUIRED)
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER staged INCLUDE REGEX "/man/man[1-9]/[^/]+\\.[1-9]$")
foreach(page IN LISTS staged)
  # -n leaves out the name and time stamp, so that the same page always packs the same.
  execute_process(COMMAND ${GZIP} -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
