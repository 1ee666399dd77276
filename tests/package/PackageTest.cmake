# Installs a TarnIO build, builds the consumer project in this directory
# against the installed copy with the same toolchain, and runs it.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DTOOLCHAIN_FILE=... -DGENERATOR=...
#       -DBUILD_TYPE=... -DEMULATOR=... -P PackageTest.cmake
foreach(var BUILD_DIR WORK_DIR TOOLCHAIN_FILE GENERATOR BUILD_TYPE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "PackageTest.cmake: ${var} not given")
  endif()
endforeach()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(consumer ${WORK_DIR}/consumer)
file(REMOVE_RECURSE ${WORK_DIR})

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/TarnIO/FileHandle.h include/TarnError/Error.h include/TarnUtil/Text.h
             include/TarnIO/third_party/boost/noncopyable.hpp
             lib/libTarnIO.dll.a lib/libTarnError.dll.a lib/libTarnUtil.dll.a
             bin/TarnIO.dll bin/TarnError.dll bin/TarnUtil.dll
             lib/cmake/TarnIO/TarnIOConfig.cmake lib/cmake/TarnIO/TarnIOConfigVersion.cmake
             lib/cmake/TarnIO/TarnIOTargets.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the installed package lacks ${file}")
  endif()
endforeach()
# The exported targets must point only into the installed package.
file(GLOB target_files ${prefix}/lib/cmake/TarnIO/*.cmake)
foreach(target_file ${target_files})
  file(READ ${target_file} text)
  foreach(leak ${BUILD_DIR} TarnIOObjects boost-shim)
    string(FIND "${text}" "${leak}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${target_file} refers to ${leak}")
    endif()
  endforeach()
endforeach()

run("configure the consumer" ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${consumer}
    -G ${GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DCMAKE_PREFIX_PATH=${prefix})
run("build the consumer" ${CMAKE_COMMAND} --build ${consumer})
# The shared compiler runtime of an i686 build lives in the package's bin/.
file(GLOB runtime_dlls ${prefix}/bin/lib*.dll)
if(runtime_dlls)
  file(COPY ${runtime_dlls} DESTINATION ${consumer})
endif()

execute_process(COMMAND ${EMULATOR} ${consumer}/consumer.exe WORKING_DIRECTORY ${consumer}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r\n" "\n" out "${out}")
set(expected "base=consumer.txt
size=22 text=written through TarnIO
caught=unable to open file
")
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "consumer.exe (exit ${status}) printed:\n${out}${err}\nexpected:\n${expected}")
endif()
message(STATUS "consumer built against the installed package printed:\n${out}")
