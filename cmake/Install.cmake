# Installation: both libraries with their public headers, a pkg-config file for each, the
# CMake package Tessival (targets Tessival::Tessival and Tessival::ivelmo), and the
# detection model and configuration under share/tessival/quillet. The pkg-config files and
# the package locate the prefix from their own place, so any --prefix works.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TESSIVAL_INSTALL_DATADIR ${CMAKE_INSTALL_DATAROOTDIR}/tessival)
set(TESSIVAL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessival)

install(TARGETS Tessival ivelmo EXPORT TessivalTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# Every public header of libTessival, whatever is added to include/ later.
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES src/camera/ivelmo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY data/quillet DESTINATION ${TESSIVAL_INSTALL_DATADIR})

install(EXPORT TessivalTargets NAMESPACE Tessival:: DESTINATION ${TESSIVAL_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/TessivalConfig.cmake.in ${PROJECT_BINARY_DIR}/TessivalConfig.cmake
                              INSTALL_DESTINATION ${TESSIVAL_INSTALL_CMAKEDIR}
                              PATH_VARS TESSIVAL_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TessivalConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TessivalConfig.cmake ${PROJECT_BINARY_DIR}/TessivalConfigVersion.cmake
        DESTINATION ${TESSIVAL_INSTALL_CMAKEDIR})

file(RELATIVE_PATH TESSIVAL_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TESSIVAL_PC_PREFIX "${TESSIVAL_PC_PREFIX}")
foreach(pc tessival ivelmo)
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
