# Test suites are registered with CTest one program at a time; each keeps its
# whole output in ${VORNEX_TEST_LOG_DIR}/NAME.log, from which the test command
# adds up the cases of every suite (GoogleTest's summary lines, or a plain
# "N passed, N failed" line).
set(VORNEX_TEST_LOG_DIR ${CMAKE_BINARY_DIR}/test-logs)

function(vornex_add_suite name)
  cmake_parse_arguments(SUITE "" "TIMEOUT" "LABELS;COMMAND" ${ARGN})
  add_test(NAME ${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/run-suite.sh ${VORNEX_TEST_LOG_DIR}/${name}.log ${SUITE_COMMAND})
  if(NOT SUITE_TIMEOUT)
    set(SUITE_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${SUITE_TIMEOUT} LABELS "${SUITE_LABELS}")
endfunction()
