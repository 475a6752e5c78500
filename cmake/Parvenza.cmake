# Shared helpers for the project's targets.

# Warnings for our own code only.
function(parvenza_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
endfunction()

# parvenza_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS heavy])
# One test executable per test file; cases are registered with CTest one by one.
# PARVENZA_TEST_DATA points at the checked-in test data; tests write only under
# a fresh temporary folder.
function(parvenza_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    PARVENZA_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    PARVENZA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    PARVENZA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  parvenza_warnings(${T_NAME})
  if(NOT T_LABELS)
    set(T_LABELS fast)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
