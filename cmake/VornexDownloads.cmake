# The Windows download (in the win64 and win32 trees):
#
#   cmake --build --preset win64 --target package  -> build/win64/Vornex-<version>-win64.zip
#   cmake --build --preset win32 --target package  -> build/win32/Vornex-<version>-win32.zip
#
# A flat zip of Vornex.exe, vornex-cli.exe, LICENSE, the guide 使用说明.txt,
# BUILDINFO.txt and SHA256SUMS over those five. Both programs are static (system DLLs only),
# so nothing else is needed beside them.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VORNEX_WINDOWS_ARCH win64)
else()
  set(VORNEX_WINDOWS_ARCH win32)
endif()
set(VORNEX_DOWNLOAD_NAME Vornex-${PROJECT_VERSION}-${VORNEX_WINDOWS_ARCH})
set(VORNEX_DOWNLOAD_ZIP ${CMAKE_BINARY_DIR}/${VORNEX_DOWNLOAD_NAME}.zip)

# The guide as Notepad on any Windows shows it right: UTF-8 with a BOM, CRLF.
string(ASCII 239 187 191 VORNEX_UTF8_BOM)
set(VORNEX_GUIDE ${CMAKE_BINARY_DIR}/downloads/guide/使用说明.txt)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/guide.zh_CN.txt.in ${VORNEX_GUIDE}
  @ONLY NEWLINE_STYLE CRLF)

# What the download was built from and with, listed in its SHA256SUMS.
set(VORNEX_BUILDINFO ${CMAKE_BINARY_DIR}/downloads/buildinfo/BUILDINFO.txt)
vornex_write_buildinfo(${VORNEX_BUILDINFO} ${CMAKE_CXX_COMPILER} ${CMAKE_RC_COMPILER})
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_custom_command(
  OUTPUT ${VORNEX_DOWNLOAD_ZIP}
  COMMAND ${CMAKE_COMMAND}
          -DSTAGE=${CMAKE_BINARY_DIR}/downloads/${VORNEX_DOWNLOAD_NAME}
          -DZIP=${VORNEX_DOWNLOAD_ZIP}
          "-DFILES=$<TARGET_FILE:Vornex>$<SEMICOLON>$<TARGET_FILE:vornex-cli>$<SEMICOLON>${PROJECT_SOURCE_DIR}/LICENSE$<SEMICOLON>${VORNEX_GUIDE}$<SEMICOLON>${VORNEX_BUILDINFO}"
          -DPYTHON=${Python3_EXECUTABLE} -DEPOCH=${VORNEX_SOURCE_DATE_EPOCH}
          -P ${PROJECT_SOURCE_DIR}/cmake/VornexZip.cmake
  DEPENDS Vornex vornex-cli $<TARGET_FILE:Vornex> $<TARGET_FILE:vornex-cli>
          ${PROJECT_SOURCE_DIR}/LICENSE ${VORNEX_GUIDE} ${VORNEX_BUILDINFO} ${PROJECT_SOURCE_DIR}/cmake/VornexZip.cmake
          ${PROJECT_SOURCE_DIR}/cmake/reproducible_archive.py
  COMMENT "Zipping ${VORNEX_DOWNLOAD_NAME}.zip"
  VERBATIM)
add_custom_target(package DEPENDS ${VORNEX_DOWNLOAD_ZIP})
