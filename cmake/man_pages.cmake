# Makes the man pages in <build>/docs from docs/*.1, whose .TH lines carry
# @PROJECT_VERSION@ and @GLYPHREELER_RELEASE_DATE@ in place of the version and the date: the
# version project() sets, and the date of the newest release in CHANGELOG.md, which must be that
# version (as debian_docs.cmake checks for the packages' changelogs). Included from
# CMakeLists.txt; sets GLYPHREELER_RELEASE_DATE.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md newest_release
  REGEX "^## [^ ]+ \\([0-9]+-[0-9]+-[0-9]+\\)$" LIMIT_COUNT 1)
if(NOT newest_release MATCHES "^## ([^ ]+) \\(([0-9]+-[0-9]+-[0-9]+)\\)$"
    OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "CHANGELOG.md: the newest release is not ${PROJECT_VERSION}, the version "
    "project() sets: add its entry, headed \"## ${PROJECT_VERSION} (<YYYY-MM-DD>)\"")
endif()
set(GLYPHREELER_RELEASE_DATE ${CMAKE_MATCH_2})
foreach(page glyphreeler.1 glyphpack.1)
  file(STRINGS ${PROJECT_SOURCE_DIR}/docs/${page} header LIMIT_COUNT 1)
  if(NOT header MATCHES "@GLYPHREELER_RELEASE_DATE@ \"glyphreeler @PROJECT_VERSION@\"")
    message(FATAL_ERROR "docs/${page}: its .TH line must name the date and version as "
      "@GLYPHREELER_RELEASE_DATE@ \"glyphreeler @PROJECT_VERSION@\", which the build fills in")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/docs/${page} ${PROJECT_BINARY_DIR}/docs/${page} @ONLY)
endforeach()
