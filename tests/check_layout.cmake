# Checks that the rooms include one another only downwards. The ground floor (format/, then
# platform/) is shared by both programs and includes nothing above it; each program's rooms
# stand on it in the order their data goes through them, and each includes only rooms at or
# below its own floor; neither program includes the other. Takes -DSOURCE_DIR.

# Room, program, floor: a file belongs to the room of the longest folder that holds it.
set(rooms
  "format/ ground 1"
  "platform/ ground 2"
  "player/terminal/ player 3"
  "player/ player 4"
  "glyphpack/input/ glyphpack 3"
  "glyphpack/decode/ glyphpack 4"
  "glyphpack/timing/ glyphpack 5"
  "glyphpack/picture/ glyphpack 6"
  "glyphpack/glyphs/ glyphpack 7"
  "glyphpack/output/ glyphpack 8"
  "glyphpack/ glyphpack 9")

# Sets `room_program` and `room_floor` for the path `file` (relative to SOURCE_DIR); both empty
# for a path in no room.
function(room_of file)
  set(best "")
  set(best_program "")
  set(best_floor "")
  foreach(entry IN LISTS rooms)
    string(REGEX MATCH "^([^ ]*) ([^ ]*) ([^ ]*)$" matched "${entry}")
    set(folder ${CMAKE_MATCH_1})
    string(LENGTH "${folder}" length)
    string(SUBSTRING "${file}" 0 ${length} start)
    string(LENGTH "${best}" best_length)
    if(start STREQUAL folder AND length GREATER best_length)
      set(best ${folder})
      set(best_program ${CMAKE_MATCH_2})
      set(best_floor ${CMAKE_MATCH_3})
    endif()
  endforeach()
  set(room_program "${best_program}" PARENT_SCOPE)
  set(room_floor "${best_floor}" PARENT_SCOPE)
endfunction()

set(wrong "")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/format/*.[ch]pp
  ${SOURCE_DIR}/platform/*.[ch]pp ${SOURCE_DIR}/player/*.[ch]pp ${SOURCE_DIR}/glyphpack/*.[ch]pp)
foreach(source IN LISTS sources)
  room_of(${source})
  set(program ${room_program})
  set(floor ${room_floor})
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]*)\".*$" "\\1" included "${line}")
    room_of(${included})
    if(room_program STREQUAL "")
      continue()  # a header beside the file, or a library's
    endif()
    set(upward FALSE)
    if(NOT room_program STREQUAL "ground" AND NOT room_program STREQUAL program)
      set(upward TRUE)  # across to the other program, or from the ground up into one
    elseif(room_program STREQUAL program AND room_floor GREATER floor)
      set(upward TRUE)  # up a floor within a program, or within the ground
    endif()
    if(upward)
      list(APPEND wrong "${source}: ${line}")
    endif()
  endforeach()
endforeach()
if(wrong)
  list(JOIN wrong "\n" lines)
  message(FATAL_ERROR "includes that run back up a floor or across to the other program:\n${lines}")
endif()
