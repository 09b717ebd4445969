# Checks that every C++ source of the project is laid out as .clang-format says, with the
# clang-format the style was written for (14): another version lays some lines out otherwise.
# Takes -DCLANG_FORMAT and -DSOURCE_DIR.
set(sources)
foreach(folder format platform player glyphpack tests bench)
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.cpp
    ${SOURCE_DIR}/${folder}/*.hpp)
  list(APPEND sources ${found})
endforeach()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "not laid out as .clang-format says (clang-format -i <file> lays it out)")
endif()
