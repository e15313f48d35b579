# Installation: headers, the shared libraries, a CMake package (korutil::korutil) and a
# pkg-config file.
include(CMakePackageConfigHelpers)

set(korutil_install_targets korutil)
if(NOT WIN32)
    list(APPEND korutil_install_targets korplatform)
endif()

install(TARGETS ${korutil_install_targets} EXPORT korutilTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# On Windows <korutil/platform.h> is <windows.h>: the Linux layer's declarations stay behind.
if(WIN32)
    install(DIRECTORY include/korutil DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        PATTERN platform EXCLUDE)
else()
    install(DIRECTORY include/korutil DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endif()

set(korutil_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/korutil)
install(EXPORT korutilTargets NAMESPACE korutil:: DESTINATION ${korutil_cmake_dir})
configure_package_config_file(cmake/korutilConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/korutilConfig.cmake INSTALL_DESTINATION ${korutil_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/korutilConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/korutilConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/korutilConfigVersion.cmake
        DESTINATION ${korutil_cmake_dir})

# CMake helpers that hosts use, installed beside the package; korutilConfig.cmake includes
# each by name.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/host/KorutilResources.cmake
    DESTINATION ${korutil_cmake_dir})

# Windows hosts link the system's own API; elsewhere the platform layer comes along.
if(WIN32)
    set(korutil_pc_libs "-lkorutil")
    set(korutil_pc_libs_private "")
else()
    set(korutil_pc_libs "-lkorutil -lkorplatform")
    set(korutil_pc_libs_private "-lpthread -ldl")
endif()
file(RELATIVE_PATH korutil_pc_to_prefix
    ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" korutil_pc_to_prefix "${korutil_pc_to_prefix}")
configure_file(cmake/korutil.pc.in ${CMAKE_CURRENT_BINARY_DIR}/korutil.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/korutil.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
