# vornex-cli as a Debian package (CPack, DEB generator):
#
#   cmake --build --preset native --target package  -> build/native/vornex-cli_<version>_<arch>.deb
#                                    and build/native/vornex-cli-<version>-linux-<machine>.tar.gz
#   cmake --preset package && cmake --build --preset package --target package
#
# The package holds vornex-cli only: the program, its manual pages, the
# copyright file and a changelog. It is always made from a Release build: a
# Release tree packages its own vornex-cli; any other tree (the Debug `native`
# preset) has cpack configure and build a Release vornex-cli without the tests
# in <tree>/package-release and packages that one.
include(GNUInstallDirs)

set(VORNEX_DEB_MAINTAINER "Vornex 开发组 <maintainers@users.noreply.c-seed-f349bf77.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(VORNEX_COPYRIGHT "2026 Vornex 开发组")

set(VORNEX_DEB_DIR ${CMAKE_BINARY_DIR}/deb)

# The manual page, with the version filled in, gzipped as Debian wants it
# (-n: no name or time stamp in the gzip header).
configure_file(${PROJECT_SOURCE_DIR}/cli/vornex-cli.1.in ${VORNEX_DEB_DIR}/vornex-cli.1 @ONLY)
# The Chinese page, where man -L zh_CN looks (zh_CN/man1), and for the tarball by its own name.
configure_file(${PROJECT_SOURCE_DIR}/cli/vornex-cli.zh_CN.1.in ${VORNEX_DEB_DIR}/zh_CN/vornex-cli.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cli/vornex-cli.zh_CN.1.in ${VORNEX_DEB_DIR}/vornex-cli.zh_CN.1 @ONLY)

# The copyright file in Debian's machine-readable format, with the text of LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE VORNEX_LICENSE)
string(REGEX REPLACE "^MIT License\n\nCopyright[^\n]*\n\n" "" VORNEX_LICENSE "${VORNEX_LICENSE}")
string(REGEX REPLACE "\n+$" "" VORNEX_LICENSE "${VORNEX_LICENSE}")
string(REPLACE "\n\n" "\n.\n" VORNEX_LICENSE "${VORNEX_LICENSE}")
string(REPLACE "\n" "\n " VORNEX_LICENSE_TEXT " ${VORNEX_LICENSE}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/copyright.in ${VORNEX_DEB_DIR}/copyright @ONLY)

# The changelog of a native package: one entry, for this version.
string(TIMESTAMP VORNEX_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${VORNEX_DEB_DIR}/changelog @ONLY)

find_program(VORNEX_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${VORNEX_DEB_DIR}/vornex-cli.1.gz ${VORNEX_DEB_DIR}/zh_CN/vornex-cli.1.gz ${VORNEX_DEB_DIR}/changelog.gz
  COMMAND ${VORNEX_GZIP} -9nkf ${VORNEX_DEB_DIR}/vornex-cli.1 ${VORNEX_DEB_DIR}/zh_CN/vornex-cli.1
          ${VORNEX_DEB_DIR}/changelog
  DEPENDS ${VORNEX_DEB_DIR}/vornex-cli.1 ${VORNEX_DEB_DIR}/zh_CN/vornex-cli.1 ${VORNEX_DEB_DIR}/changelog
  COMMENT "Compressing the manual page and the changelog"
  VERBATIM)
add_custom_target(vornex-cli-docs ALL DEPENDS ${VORNEX_DEB_DIR}/vornex-cli.1.gz ${VORNEX_DEB_DIR}/zh_CN/vornex-cli.1.gz
  ${VORNEX_DEB_DIR}/changelog.gz)

# The only install rules of the project: what the package holds.
install(TARGETS vornex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VORNEX_DEB_DIR}/vornex-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VORNEX_DEB_DIR}/zh_CN/vornex-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1)
install(FILES ${VORNEX_DEB_DIR}/copyright ${VORNEX_DEB_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vornex-cli)
# Folders made on the way take the builder's umask (0027 gives a /usr no one
# else can read); the package's are 0755 whoever builds it.
install(CODE [[
  file(GLOB_RECURSE vornex_dirs LIST_DIRECTORIES true "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/*")
  foreach(vornex_dir IN ITEMS "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" ${vornex_dirs})
    if(IS_DIRECTORY "${vornex_dir}")
      file(CHMOD "${vornex_dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornex-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vornex 开发组")
set(CPACK_PACKAGE_CONTACT "${VORNEX_DEB_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and remove IFEO Debugger redirections in an offline Windows hive")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"vornex-cli reads the SOFTWARE registry hive of a Windows installation from a
Linux rescue system and lists the Image File Execution Options (IFEO)
subkeys that carry a Debugger value, which make Windows start another
program instead of the named one (a redirected explorer.exe or userinit.exe
can keep Windows from starting). It removes such a Debugger value, its
whole subkey, or the subkeys of every listed entry, after writing a backup
copy of the hive beside it; --dry-run shows what would change.
.
Output as text, JSON or CSV.")
# (No double quotes in it: the DEB generator of CMake 3.25 mangles them.)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORNEX_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Depends computed by dpkg-shlibdeps from the binary: libc6 with the lowest
# version it needs (the C++ runtime is linked in).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build/" "/demo/")

if(NOT CMAKE_BUILD_TYPE STREQUAL "Release" OR VORNEX_SANITIZE)
  set(VORNEX_PACKAGE_TREE ${CMAKE_BINARY_DIR}/package-release)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${VORNEX_PACKAGE_TREE};${PROJECT_NAME};ALL;/")
else()
  set(VORNEX_PACKAGE_TREE ${CMAKE_BINARY_DIR})
endif()
# What the tarball was built from and with (the .deb's own fields say it for Debian).
set(VORNEX_BUILDINFO ${VORNEX_DEB_DIR}/BUILDINFO.txt)
vornex_write_buildinfo(${VORNEX_BUILDINFO} ${CMAKE_CXX_COMPILER})
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# The Release build when needed, and the static tarball beside the .deb.
configure_file(${PROJECT_SOURCE_DIR}/cmake/VornexPackageRelease.cmake.in
  ${CMAKE_BINARY_DIR}/VornexPackageRelease.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/VornexPackageRelease.cmake)
# After the .deb is written: its members' modes made the same for every builder.
file(WRITE ${CMAKE_BINARY_DIR}/VornexDebModes.cmake
  "foreach(deb IN LISTS CPACK_PACKAGE_FILES)\n"
  "  execute_process(COMMAND \"${Python3_EXECUTABLE}\" \"${PROJECT_SOURCE_DIR}/cmake/reproducible_archive.py\" deb-modes \"\${deb}\" COMMAND_ERROR_IS_FATAL ANY)\n"
  "endforeach()\n")
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/VornexDebModes.cmake)

include(CPack)
