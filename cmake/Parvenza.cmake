# Shared helpers for the project's targets.
include(GNUInstallDirs)

# Installed programs and libraries find the project's libraries beside them, wherever the
# prefix is put; a system library folder (the Debian package's /usr) needs no search path.
list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" PARVENZA_LIBDIR_SISTEMA)
if(PARVENZA_LIBDIR_SISTEMA EQUAL -1)
  set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()

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

# parvenza_biblioteca_publica(target CARPETA dir CABECERAS a.h ... [NOMBRE name]
#                             [DESCRIPCION text] [REQUIERE pc ...])
# A library other programs use: exported as Parvenza::<NOMBRE, default the target's name>, its
# public headers installed under include/parvenza/<dir>/ (included as "<dir>/a.h", as inside
# the tree). A compiled one is also versioned with the project (libX.so.MAJOR) and gets a
# pkg-config file named after it in lower case; a header-only one shares their include folder.
function(parvenza_biblioteca_publica target)
  cmake_parse_arguments(B "" "CARPETA;DESCRIPCION;NOMBRE" "CABECERAS;REQUIERE" ${ARGN})
  get_target_property(tipo ${target} TYPE)
  set(ambito PUBLIC)
  if(tipo STREQUAL "INTERFACE_LIBRARY")
    set(ambito INTERFACE)
  endif()
  target_include_directories(${target} ${ambito}
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/parvenza>)
  # The public headers are C++20 (defaulted comparisons): callers get the standard too.
  target_compile_features(${target} ${ambito} cxx_std_20)
  if(B_NOMBRE)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${B_NOMBRE})
  endif()
  install(TARGETS ${target} EXPORT ParvenzaTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
  list(TRANSFORM B_CABECERAS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  install(FILES ${B_CABECERAS}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/parvenza/${B_CARPETA} COMPONENT dev)
  if(ambito STREQUAL "INTERFACE")
    return()
  endif()

  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  string(TOLOWER ${target} PC_NOMBRE)
  set(PC_DESCRIPCION "${B_DESCRIPCION}")
  list(JOIN B_REQUIERE " " PC_REQUIERE)
  # The prefix is found from the file's own place, so an install under any prefix works.
  file(RELATIVE_PATH PC_A_PREFIJO "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
  string(REGEX REPLACE "/$" "" PC_A_PREFIJO "${PC_A_PREFIJO}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/biblioteca.pc.in
                 ${PROJECT_BINARY_DIR}/pkgconfig/${PC_NOMBRE}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${PC_NOMBRE}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endfunction()
