# What makes two builds of one commit give the same bytes, wherever and
# whenever they run: every time stamp is the last commit's (SOURCE_DATE_EPOCH,
# taken from the environment when it is set), no build path reaches a program,
# and no linker writes the time it ran.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VORNEX_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct
      WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE VORNEX_SOURCE_DATE_EPOCH
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT VORNEX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(VORNEX_SOURCE_DATE_EPOCH 0)  # a tree without its history: a fixed time all the same
  endif()
endif()
# string(TIMESTAMP) and CPack read it from the environment.
set(ENV{SOURCE_DATE_EPOCH} "${VORNEX_SOURCE_DATE_EPOCH}")

if(CMAKE_BUILD_TYPE STREQUAL "Release")
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=" "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # The PE header's time stamp is the build's time unless told otherwise.
  # Windows 7 (6.1) is what the imports need: an older system refuses the
  # programs with its own message instead of a missing entry point.
  add_link_options(-Wl,--no-insert-timestamp
    -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,1
    -Wl,--major-os-version,6 -Wl,--minor-os-version,1)
endif()

# BUILDINFO.txt: what a download was built from and with, so that anyone can
# rebuild it and compare (README: "Checking a download").
function(vornex_write_buildinfo out)
  set(tools "")
  foreach(tool IN LISTS ARGN)
    execute_process(COMMAND "${tool}" --version OUTPUT_VARIABLE line ERROR_QUIET)
    string(REGEX REPLACE "\n.*" "" line "${line}")
    string(APPEND tools "${line}\n")
  endforeach()
  find_program(VORNEX_DPKG_QUERY dpkg-query)
  set(packages "")
  if(VORNEX_DPKG_QUERY)
    execute_process(COMMAND "${VORNEX_DPKG_QUERY}" -W -f "\${Package} \${Version}\n"
      cmake binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      mingw-w64-common mingw-w64-x86-64-dev mingw-w64-i686-dev g++-12 binutils libc6-dev libstdc++-12-dev python3
      OUTPUT_VARIABLE packages ERROR_QUIET)
  endif()
  find_package(Git QUIET)
  set(commit "(unknown)")
  if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse HEAD WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
      OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  file(WRITE "${out}" "Vornex ${PROJECT_VERSION}\ncommit ${commit}\nSOURCE_DATE_EPOCH ${VORNEX_SOURCE_DATE_EPOCH}\n\n"
    "Tools:\n${tools}\nDebian packages:\n${packages}")
endfunction()
