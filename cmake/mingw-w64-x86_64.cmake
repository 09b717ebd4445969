# Cross-compiles a native 64-bit Windows console program with mingw-w64. The C and C++ runtimes
# are linked in, so glyphreeler.exe runs on a bare Windows machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(GLYPHREELER_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${GLYPHREELER_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${GLYPHREELER_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${GLYPHREELER_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GLYPHREELER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No link time in the program's header, so that the same sources link to the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")  # a release carries no symbols
