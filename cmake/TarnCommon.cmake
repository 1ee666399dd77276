# Settings shared by every target of the project.

# Warnings for our own code only; third-party code (GoogleTest) keeps its own.
function(tarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Link the compiler runtime the way the toolchain file asks for: statically on
# x86_64, as shared DLLs on i686 (see the toolchain files for why).
function(tarn_runtime target)
  if(TARN_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# Copies the shared compiler runtime DLLs beside an executable of the i686 build,
# so that Wine (or Windows) finds them without any PATH setting.
function(tarn_copy_runtime_dlls target)
  if(TARN_STATIC_RUNTIME)
    return()
  endif()
  foreach(dll libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
    find_file(TARN_DLL_${dll} ${dll} PATHS ${TARN_RUNTIME_DLL_DIRS} NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(TARN_DLL_${dll})
      add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TARN_DLL_${dll}} $<TARGET_FILE_DIR:${target}>)
    endif()
  endforeach()
endfunction()

# Boost is used only for boost::noncopyable. /usr/include must never reach the
# cross compiler (glibc headers would shadow mingw's), so the build tree gets a
# directory that holds nothing but a link to Debian's Boost headers.
set(TARN_BOOST_SHIM ${CMAKE_BINARY_DIR}/boost-shim)
if(NOT EXISTS ${TARN_BOOST_SHIM}/boost/noncopyable.hpp)
  if(NOT EXISTS /usr/include/boost/noncopyable.hpp)
    message(FATAL_ERROR "Boost headers not found: install libboost-dev")
  endif()
  file(MAKE_DIRECTORY ${TARN_BOOST_SHIM})
  file(CREATE_LINK /usr/include/boost ${TARN_BOOST_SHIM}/boost SYMBOLIC)
endif()
add_library(TarnBoostHeaders INTERFACE)
target_include_directories(TarnBoostHeaders SYSTEM INTERFACE $<BUILD_INTERFACE:${TARN_BOOST_SHIM}>)
