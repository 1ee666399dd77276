# Fails when a ```cpp block of the README that names a file of
# examples/snippets in its first line differs from that file: the README
# shows exactly the code the tests compile and run.
# Usage: cmake -DSOURCE_DIR=... [-DTARN=tarn.exe -DEMULATOR=wine] -P CheckReadmeSnippets.cmake
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

# With TARN and EMULATOR given, also runs every "$ tarn ..." line that the
# README shows in an indented block, in a scratch directory, and compares
# what the program prints (standard output, then standard error) with the
# lines shown under it: the messages and throw sites (file:line) that the
# README quotes are the ones the program prints.
if(NOT DEFINED TARN)
  return()
endif()
string(REGEX MATCHALL "\n    \\$ tarn [^\n]*(\n    [^$\n][^\n]*)*" transcripts "${readme}")
list(LENGTH transcripts count)
if(count EQUAL 0)
  message(FATAL_ERROR "README.md shows no run of tarn")
endif()
set(scratch ${CMAKE_CURRENT_BINARY_DIR}/readme-transcripts)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
foreach(transcript IN LISTS transcripts)
  string(REPLACE "<semicolon>" ";" transcript "${transcript}")
  string(REGEX MATCH "\\$ tarn ([^\n]*)" command "${transcript}")
  set(command_line "${CMAKE_MATCH_1}")
  # Words, or single-quoted text taken as it stands.
  string(REGEX MATCHALL "'[^']*'|[^ ']+" words "${command_line}")
  set(args)
  foreach(word IN LISTS words)
    string(REGEX REPLACE "^'(.*)'$" "\\1" word "${word}")
    list(APPEND args "${word}")
  endforeach()
  string(REGEX REPLACE "^\n    \\$ tarn [^\n]*\n?" "" expected "${transcript}")
  string(REGEX REPLACE "(^|\n)    " "\\1" expected "${expected}")
  execute_process(COMMAND ${EMULATOR} ${TARN} ${args} WORKING_DIRECTORY ${scratch}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" printed "${out}${err}")
  string(REGEX REPLACE "\n$" "" printed "${printed}")
  if(NOT printed STREQUAL expected)
    message(FATAL_ERROR "README.md shows for tarn ${command_line}:\n${expected}\n"
                        "but tarn prints:\n${printed}")
  endif()
  message(STATUS "README matches tarn ${command_line}")
endforeach()
file(REMOVE_RECURSE ${scratch})
