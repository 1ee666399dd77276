# cmake --install <build> --prefix <dir> lays out a package that a project
# uses with find_package(TarnIO) and TarnIO::TarnIO:
#   include/                      TarnIO/, TarnError/, TarnUtil/ headers
#   include/TarnIO/third_party/   the few Boost headers boost/noncopyable.hpp needs
#   lib/                          import libraries (.dll.a)
#   bin/                          the DLLs (and, for i686, the compiler runtime DLLs)
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
# (An imported target's include directories are system directories already.)
target_include_directories(TarnBoostHeaders INTERFACE
  $<INSTALL_INTERFACE:include/TarnIO/third_party>)
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

# The i686 build links the shared compiler runtime: ship it beside the DLLs.
if(NOT TARN_STATIC_RUNTIME)
  foreach(dll libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
    find_file(TARN_DLL_${dll} ${dll} PATHS ${TARN_RUNTIME_DLL_DIRS} NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(TARN_DLL_${dll})
      install(FILES ${TARN_DLL_${dll}} DESTINATION bin)
    endif()
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
