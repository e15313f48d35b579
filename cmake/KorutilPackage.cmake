# Packages made with CPack from the install rules: on Linux a Debian package (the shared
# libraries, headers, CMake and pkg-config files, korutil-reg and the resource helper), on
# Windows a zip (KORUTIL.DLL, KORUTIL.lib, headers and the CMake package).
#     cpack -G DEB    (in a Linux build)       cpack -G ZIP    (in a Windows build)
set(CPACK_PACKAGE_NAME korutil)
set(CPACK_PACKAGE_VENDOR korutil)
set(CPACK_PACKAGE_CONTACT "korutil developers <korutil@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Utility library for C++ desktop applications")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
    # The shared libraries' own dependencies (SQLite, FreeType, fontconfig, libpng, the C++
    # runtime) come from dpkg-shlibdeps; the text layer's fonts are files it opens.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-liberation2")
    # The resource helper compiles .rc scripts with the MinGW-w64 windres.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "binutils-mingw-w64-x86-64, cmake, pkg-config")
endif()

include(CPack)
