# Install rules of the library: headers, library, a CMake package and pkg-config. The
# programs install themselves (app/, examples/).
include(CMakePackageConfigHelpers)

set(PIXELRY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Pixelry)

install(TARGETS pixelry EXPORT PixelryTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PIXELRY_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/Pixelry)

install(EXPORT PixelryTargets NAMESPACE Pixelry:: DESTINATION ${PIXELRY_CMAKE_DIR})
configure_package_config_file(cmake/PixelryConfig.cmake.in ${PROJECT_BINARY_DIR}/PixelryConfig.cmake
  INSTALL_DESTINATION ${PIXELRY_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PixelryConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PixelryConfig.cmake ${PROJECT_BINARY_DIR}/PixelryConfigVersion.cmake
  DESTINATION ${PIXELRY_CMAKE_DIR})

if(BUILD_SHARED_LIBS)
  set(PIXELRY_PC_CFLAGS "-DPIXELRY_SHARED")
endif()
configure_file(cmake/pixelry.pc.in ${PROJECT_BINARY_DIR}/pixelry.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pixelry.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
