# Run at build time (cmake -P) by the Windows trees' `package` target:
# gathers the files of the download in a folder of their own, writes
# SHA256SUMS over them and zips them, flat, into ZIP.
#   cmake -DSTAGE=DIR -DZIP=FILE -DFILES="A;B;..." -DPYTHON=python3 -DEPOCH=SECONDS -P VornexZip.cmake
# FILES are copied under their own names; the guide is given already
# configured (UTF-8 with BOM, CRLF).
foreach(required STAGE ZIP FILES PYTHON EPOCH)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "VornexZip.cmake: ${required} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
set(names "")
set(sums "")
foreach(source IN LISTS FILES)
  get_filename_component(name "${source}" NAME)
  file(COPY "${source}" DESTINATION "${STAGE}")
  file(SHA256 "${STAGE}/${name}" hash)
  # Two spaces: the text-mode line of sha256sum -c. CRLF, so that Notepad
  # shows one file a line; sha256sum -c takes it as well.
  string(APPEND sums "${hash}  ${name}\r\n")
  list(APPEND names "${name}")
endforeach()
file(WRITE "${STAGE}/SHA256SUMS" "${sums}")
list(APPEND names SHA256SUMS)

# Written byte for byte the same for the same files (cmake -E tar would
# store the time it ran); the guide's name is stored as UTF-8 with the zip's
# UTF-8 flag.
file(REMOVE "${ZIP}")
execute_process(
  COMMAND "${PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/reproducible_archive.py" zip "${ZIP}" "${EPOCH}" "${STAGE}"
          --exec Vornex.exe --exec vornex-cli.exe -- ${names}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "VornexZip.cmake: ${ZIP} could not be written")
endif()
message(STATUS "Download: ${ZIP}")
