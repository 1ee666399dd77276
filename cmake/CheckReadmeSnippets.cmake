# Fails when a ```cpp block of the README that names a file of
# examples/snippets in its first line differs from that file: the README
# shows exactly the code the tests compile and run.
# Usage: cmake -DSOURCE_DIR=... -P CheckReadmeSnippets.cmake
file(READ ${SOURCE_DIR}/README.md readme)
# Semicolons would split CMake lists: compare with them masked.
string(REPLACE ";" "<semicolon>" readme "${readme}")
string(REGEX MATCHALL "```cpp\n// examples/snippets/[A-Za-z]+\\.cpp[^`]*```" blocks "${readme}")
list(LENGTH blocks count)
if(count EQUAL 0)
  message(FATAL_ERROR "README.md shows no snippet of examples/snippets")
endif()
foreach(block IN LISTS blocks)
  string(REGEX MATCH "examples/snippets/[A-Za-z]+\\.cpp" name "${block}")
  string(REGEX REPLACE "^```cpp\n" "" code "${block}")
  string(REGEX REPLACE "```$" "" code "${code}")
  file(READ ${SOURCE_DIR}/${name} expected)
  string(REPLACE ";" "<semicolon>" expected "${expected}")
  if(NOT code STREQUAL expected)
    message(FATAL_ERROR "README.md differs from ${name}")
  endif()
  message(STATUS "README matches ${name}")
endforeach()
