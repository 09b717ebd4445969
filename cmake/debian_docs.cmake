# Makes a Debian package's /usr/share/doc files from the project's own: `copyright` in the
# machine-readable format from LICENSE, and `changelog.gz` in Debian's changelog form from
# CHANGELOG.md. Run as a script at build time:
#   cmake -DPACKAGE=<name> -DVERSION=<version> -DMAINTAINER=<name <address>>
#         -DLICENSE_FILE=<path> -DCHANGELOG_FILE=<path> -DOUTPUT_DIR=<dir> -P debian_docs.cmake
# The newest release in CHANGELOG.md must be VERSION, the one project() sets: a package never
# carries a changelog that stops short of it.
foreach(variable PACKAGE VERSION MAINTAINER LICENSE_FILE CHANGELOG_FILE OUTPUT_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "debian_docs.cmake needs -D${variable}=...")
  endif()
endforeach()
find_program(GZIP gzip REQUIRED)
find_program(DATE date REQUIRED)
file(MAKE_DIRECTORY ${OUTPUT_DIR})

# copyright: the licence text after its title and copyright line, each line indented by one
# space and an empty one written as " .".
file(READ ${LICENSE_FILE} licence)
string(REGEX MATCH "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(.*)$" matched "${licence}")
if(NOT matched)
  message(FATAL_ERROR "${LICENSE_FILE}: expected the MIT licence: its title, a copyright line, the text")
endif()
set(holder "${CMAKE_MATCH_1}")
set(licence_body "${CMAKE_MATCH_2}")
string(REGEX REPLACE "\n+$" "" licence_body "${licence_body}")
string(REPLACE "\n\n" "\n.\n" licence_body "${licence_body}")
string(REPLACE "\n" "\n " licence_body "${licence_body}")
set(licence_text " ${licence_body}\n")
# Debian's name for this licence is Expat: "MIT" has been used for several texts.
file(WRITE ${OUTPUT_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: glyphreeler

Files: *
Copyright: ${holder}
License: Expat

License: Expat
${licence_text}")

# changelog.gz: each "## <version> (<date>)" of CHANGELOG.md becomes an entry, each "- " line
# a "  * " item and each continuation line (two spaces) an item's next line.
file(STRINGS ${CHANGELOG_FILE} changelog_lines)
set(changelog "")
set(entry "")
set(entry_date "")
macro(close_entry)
  if(NOT entry STREQUAL "")
    execute_process(COMMAND ${DATE} -u -R -d "${entry_date} 00:00:00 UTC"
      OUTPUT_VARIABLE stamp OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(APPEND changelog "${entry}\n -- ${MAINTAINER}  ${stamp}\n\n")
    set(entry "")
  endif()
endmacro()
set(newest "")
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^## ([^ ]+) \\(([0-9]+-[0-9]+-[0-9]+)\\)$")
    close_entry()
    if(newest STREQUAL "")
      set(newest "${CMAKE_MATCH_1}")
    endif()
    set(entry "${PACKAGE} (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
    set(entry_date "${CMAKE_MATCH_2}")
  elseif(NOT entry STREQUAL "" AND line MATCHES "^- (.*)$")
    string(APPEND entry "  * ${CMAKE_MATCH_1}\n")
  elseif(NOT entry STREQUAL "" AND line MATCHES "^  (.*)$")
    string(APPEND entry "    ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
close_entry()
if(NOT newest STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG_FILE}: the newest release is '${newest}', but the version "
    "is ${VERSION}: add its entry, headed \"## ${VERSION} (<YYYY-MM-DD>)\"")
endif()
string(REGEX REPLACE "\n\n$" "\n" changelog "${changelog}")
file(WRITE ${OUTPUT_DIR}/changelog "${changelog}")
# -n leaves out the name and time stamp, so that the same text always packs the same.
execute_process(COMMAND ${GZIP} -9nf ${OUTPUT_DIR}/changelog COMMAND_ERROR_IS_FATAL ANY)
