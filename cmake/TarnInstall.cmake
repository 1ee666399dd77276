# cmake --install <build> --prefix <dir> lays out a package that a project
# uses with find_package(TarnIO) and TarnIO::TarnIO:
#   include/                      TarnIO/, TarnError/, TarnUtil/ headers
#   include/TarnIO/third_party/   the few Boost headers boost/noncopyable.hpp needs
#   lib/                          import libraries (.dll.a)
#   bin/                          the DLLs (and, for i686, the compiler runtime DLLs)
#   lib/TarnIO/                   (i686) the compiler runtime's import libraries
#   lib/cmake/TarnIO/             package configuration, targets, version
include(CMakePackageConfigHelpers)

set(TARN_INSTALL_CMAKEDIR lib/cmake/TarnIO)

install(TARGETS TarnIO EXPORT TarnIOTargets
  RUNTIME DESTINATION bin ARCHIVE DESTINATION lib LIBRARY DESTINATION lib)
install(DIRECTORY include/ DESTINATION include)

# The public headers derive from boost::noncopyable. A cross-compiling
# consumer must not put /usr/include on its include path (glibc's headers
# would shadow mingw's), so it usually has no Boost to hand: the package
# carries a private copy of the headers that noncopyable.hpp pulls in (the
# whole of boost/config, so any compiler and standard library finds its
# configuration) in a directory of its own. A consumer that already has
# Boost::headers gets that instead (see TarnIOConfig.cmake.in).
set_target_properties(TarnBoostHeaders PROPERTIES EXPORT_NAME BoostHeaders)
# System directories even for a consumer that sets NO_SYSTEM_FROM_IMPORTED
# to see warnings in our headers: Boost's are not ours to mend. (Spelled with
# $<INSTALL_PREFIX>: the export writes a relative system directory unprefixed.)
target_include_directories(TarnBoostHeaders SYSTEM INTERFACE
  $<INSTALL_INTERFACE:$<INSTALL_PREFIX>/include/TarnIO/third_party>)
install(TARGETS TarnBoostHeaders EXPORT TarnIOTargets)
set(TARN_BOOST_INSTALL_DIR include/TarnIO/third_party/boost)
install(FILES ${TARN_BOOST_SHIM}/boost/noncopyable.hpp ${TARN_BOOST_SHIM}/boost/config.hpp
              ${TARN_BOOST_SHIM}/boost/version.hpp
        DESTINATION ${TARN_BOOST_INSTALL_DIR})
install(FILES ${TARN_BOOST_SHIM}/boost/core/noncopyable.hpp
        DESTINATION ${TARN_BOOST_INSTALL_DIR}/core)
install(DIRECTORY ${TARN_BOOST_SHIM}/boost/config/ DESTINATION ${TARN_BOOST_INSTALL_DIR}/config)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/BoostLicense.txt
        DESTINATION ${TARN_BOOST_INSTALL_DIR} RENAME LICENSE_1_0.txt)

# The i686 build links the shared compiler runtime: the package ships its DLLs
# in bin/ and their import libraries in lib/TarnIO/, and TarnIOConfig.cmake
# makes them imported targets on which the TarnIO targets depend. Pairs of
# DLL and import library:
set(TARN_RUNTIME_LIBS)
if(NOT TARN_STATIC_RUNTIME)
  foreach(pair libgcc_s_dw2-1.dll:libgcc_s.a libstdc++-6.dll:libstdc++.dll.a
               libwinpthread-1.dll:libwinpthread.dll.a)
    string(REPLACE ":" ";" pair ${pair})
    foreach(file ${pair})
      find_file(TARN_RUNTIME_${file} ${file} PATHS ${TARN_RUNTIME_DLL_DIRS} NO_DEFAULT_PATH
                NO_CMAKE_FIND_ROOT_PATH)
      if(NOT TARN_RUNTIME_${file})
        message(FATAL_ERROR "${file} of the compiler runtime not found in ${TARN_RUNTIME_DLL_DIRS}")
      endif()
    endforeach()
    list(GET pair 0 dll)
    list(GET pair 1 implib)
    install(FILES ${TARN_RUNTIME_${dll}} DESTINATION bin)
    install(FILES ${TARN_RUNTIME_${implib}} DESTINATION lib/TarnIO)
    list(APPEND TARN_RUNTIME_LIBS ${dll} ${implib})
  endforeach()
endif()

install(EXPORT TarnIOTargets NAMESPACE TarnIO:: DESTINATION ${TARN_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/TarnIOConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TarnIOConfig.cmake
  INSTALL_DESTINATION ${TARN_INSTALL_CMAKEDIR})
# 0.x releases may break the interface from one minor version to the next.
# The version file also refuses a package built for another pointer size.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TarnIOConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TarnIOConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/TarnIOConfigVersion.cmake
        DESTINATION ${TARN_INSTALL_CMAKEDIR})
