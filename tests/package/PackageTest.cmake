# Installs a TarnIO build, builds the consumer project in this directory
# against the installed copy with the same toolchain, and runs it.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DTOOLCHAIN_FILE=... -DGENERATOR=...
#       -DEMULATOR=... -P PackageTest.cmake
foreach(var BUILD_DIR WORK_DIR TOOLCHAIN_FILE GENERATOR)
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

# Two consumers, as users build them:
#   debug    -O0 (a Debug build), found through CMAKE_PREFIX_PATH, the compiler
#            runtime as DLLs (on x86_64 the program ships its own)
#   release  -O2 (RelWithDebInfo), under a stricter toolchain that finds
#            packages only inside CMAKE_FIND_ROOT_PATH, so the package is
#            named by TarnIO_DIR; on x86_64 linked with -static
# Each must run and pass its own checks under the emulator; on i686 the
# runtime DLLs must arrive through $<TARGET_RUNTIME_DLLS:consumer> alone, and
# the static link must be refused at configure time.
file(GLOB runtime_dlls RELATIVE ${prefix}/bin ${prefix}/bin/lib*.dll)
if(runtime_dlls)
  set(static_runtime OFF)
else()
  set(static_runtime ON)
endif()
set(strict_toolchain ${WORK_DIR}/strict-toolchain.cmake)
file(WRITE ${strict_toolchain} "include(${TOOLCHAIN_FILE})
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
")
set(debug_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Debug
               -DCMAKE_PREFIX_PATH=${prefix})
set(release_args -DCMAKE_TOOLCHAIN_FILE=${strict_toolchain} -DCMAKE_BUILD_TYPE=RelWithDebInfo
                 -DTarnIO_DIR=${prefix}/lib/cmake/TarnIO -DCONSUMER_STATIC_RUNTIME=${static_runtime})
foreach(build debug release)
  set(consumer ${WORK_DIR}/consumer-${build})
  run("configure the ${build} consumer" ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}
      -B ${consumer} -G ${GENERATOR} ${${build}_args})
  run("build the ${build} consumer" ${CMAKE_COMMAND} --build ${consumer} --verbose)
  string(REGEX MATCH "[^\n]* -o consumer\\.exe[^\n]*" link_line "${output}")
  foreach(dll ${runtime_dlls})
    if(NOT EXISTS ${consumer}/${dll})
      message(FATAL_ERROR "$<TARGET_RUNTIME_DLLS> did not bring ${dll}:\n${link_line}")
    endif()
  endforeach()
  execute_process(COMMAND ${EMULATOR} ${consumer}/consumer.exe WORKING_DIRECTORY ${consumer}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "^consumer: [0-9]+ checks passed")
    message(FATAL_ERROR "the ${build} consumer.exe (exit ${status}) printed:\n${out}${err}\n"
                        "linked with:\n${link_line}")
  endif()
  message(STATUS "${build} consumer: ${out}")
endforeach()

if(runtime_dlls)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${consumer}
                          -DCONSUMER_STATIC_RUNTIME=ON
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " flat "${out}")
  if(status EQUAL 0 OR NOT flat MATCHES "TarnIO: consumer links the compiler runtime statically")
    message(FATAL_ERROR "a consumer linked with -static was not refused:\n${out}")
  endif()
endif()
