# cmake --install: the library, its header, a CMake package
# (find_package(Quexal) -> Quexal::quexal), a pkg-config file and the data
# folder under share/quexal.
include(CMakePackageConfigHelpers)

install(TARGETS quexal EXPORT QuexalTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quexal/quexal.h ${PROJECT_SOURCE_DIR}/include/quexal/quexal.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quexal)
install(DIRECTORY ${QUEXAL_DATA_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/quexal)

set(QUEXAL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quexal)
install(EXPORT QuexalTargets NAMESPACE Quexal:: DESTINATION ${QUEXAL_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuexalConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QuexalConfig.cmake INSTALL_DESTINATION ${QUEXAL_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_DATADIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuexalConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QuexalConfig.cmake
              ${CMAKE_BINARY_DIR}/QuexalConfigVersion.cmake
  DESTINATION ${QUEXAL_CMAKE_DIR})

# The pkg-config file finds its prefix from its own place, so that an
# installation can be moved (and tested in a scratch prefix).
file(RELATIVE_PATH QUEXAL_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quexal.pc.in ${CMAKE_BINARY_DIR}/quexal.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quexal.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
