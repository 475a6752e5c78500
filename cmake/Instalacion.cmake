# What `cmake --install` puts under the prefix, and the Debian packages cpack makes of it.
# Components: runtime (programs, libraries, man pages, desktop entry), dev (headers, CMake and
# pkg-config files, the libraries' unversioned links), gdal (the GDAL plugin, when built).

include(CMakePackageConfigHelpers)

# Everything installed, so that a packaging build needs no test: scripts/package builds this.
add_custom_target(parvenza_instalable)
add_dependencies(parvenza_instalable Brisquel Lumeral Dornavel Fenoquia)

# Programs.
foreach(programa parvenza-cli parvenza)
  if(TARGET ${programa})
    install(TARGETS ${programa} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    add_dependencies(parvenza_instalable ${programa})
  endif()
endforeach()

# Man pages with the project's version, compressed as Debian keeps them.
set(PARVENZA_PAGINAS_MAN)
foreach(pagina parvenza-cli.1 parvenza.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${pagina} ${PROJECT_BINARY_DIR}/man/${pagina} @ONLY)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/man/${pagina}.gz
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${PROJECT_BINARY_DIR}/man/${pagina}
            ${PROJECT_BINARY_DIR}/man/${pagina}.gz
    DEPENDS ${PROJECT_BINARY_DIR}/man/${pagina}
    VERBATIM)
  list(APPEND PARVENZA_PAGINAS_MAN ${PROJECT_BINARY_DIR}/man/${pagina}.gz)
endforeach()
add_custom_target(parvenza_man ALL DEPENDS ${PARVENZA_PAGINAS_MAN})
add_dependencies(parvenza_instalable parvenza_man)
install(FILES ${PARVENZA_PAGINAS_MAN} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)

# The window on the desktop.
if(TARGET parvenza)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/escritorio/parvenza.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/escritorio/parvenza.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT runtime)
endif()

# The GDAL plugin goes where GDAL looks for plugins under the same prefix
# (lib/<arch>/gdalplugins on Debian, as GDAL's own build installs them).
set(PARVENZA_GDAL_PLUGINS ${CMAKE_INSTALL_LIBDIR}/gdalplugins
    CACHE STRING "Folder, under the prefix, of GDAL's plugins")
if(TARGET ogr_Digi)
  if(CMAKE_INSTALL_RPATH)
    # From lib/gdalplugins, the project's libraries are one folder up.
    set_target_properties(ogr_Digi PROPERTIES INSTALL_RPATH "$ORIGIN/..")
  endif()
  install(TARGETS ogr_Digi LIBRARY DESTINATION ${PARVENZA_GDAL_PLUGINS} COMPONENT gdal)
  add_dependencies(parvenza_instalable ogr_Digi)
endif()

# The CMake package: find_package(Parvenza CONFIG) gives Parvenza::Brisquel, ...
set(PARVENZA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Parvenza)
install(EXPORT ParvenzaTargets NAMESPACE Parvenza:: DESTINATION ${PARVENZA_CMAKE_DIR}
        COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ParvenzaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ParvenzaConfig.cmake INSTALL_DESTINATION ${PARVENZA_CMAKE_DIR})
# Before 1.0 a minor version may change the libraries' interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ParvenzaConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ParvenzaConfig.cmake
              ${PROJECT_BINARY_DIR}/ParvenzaConfigVersion.cmake
        DESTINATION ${PARVENZA_CMAKE_DIR} COMPONENT dev)

# Debian packages: parvenza (programs and libraries), parvenza-dev, parvenza-gdal.
set(PARVENZA_MANTENEDOR "Equipo de Parvenza <parvenza@example.org>"
    CACHE STRING "Maintainer written into the Debian packages")
file(STRINGS ${PROJECT_SOURCE_DIR}/docs/debian/changelog PARVENZA_CAMBIOS LIMIT_COUNT 1)
if(NOT PARVENZA_CAMBIOS MATCHES "^parvenza \\(${PROJECT_VERSION}\\)")
  message(FATAL_ERROR "docs/debian/changelog: the first entry must be version ${PROJECT_VERSION}")
endif()
set(PARVENZA_DOC ${PROJECT_BINARY_DIR}/doc-deb)
file(MAKE_DIRECTORY ${PARVENZA_DOC})
# A native package: changelog.gz, compressed without a time stamp so that builds repeat.
add_custom_command(
  OUTPUT ${PARVENZA_DOC}/changelog.gz
  COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/docs/debian/changelog
          ${PARVENZA_DOC}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/debian/changelog
  VERBATIM)
add_custom_target(parvenza_changelog ALL DEPENDS ${PARVENZA_DOC}/changelog.gz)
add_dependencies(parvenza_instalable parvenza_changelog)
foreach(componente runtime dev gdal)
  if(componente STREQUAL "runtime")
    set(paquete parvenza)
  else()
    set(paquete parvenza-${componente})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/debian/copyright ${PARVENZA_DOC}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${paquete} COMPONENT ${componente}
          EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_PACKAGE_NAME parvenza)
set(CPACK_PACKAGE_VENDOR "Parvenza")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${PARVENZA_MANTENEDOR}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/paquetes)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(TARGET ogr_Digi)
  list(APPEND CPACK_COMPONENTS_ALL gdal)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PARVENZA_MANTENEDOR}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME parvenza)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION science)
# PROJ is opened by name, not linked: dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${PARVENZA_PROJ_PAQUETE}")
# The libraries are registered with ldconfig through dpkg's trigger (CPack adds ldconfig calls
# to postinst and postrm besides).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/docs/debian/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "conversor de cartografía entre ficheros BIN de Digi y shapefiles
Convierte los ficheros de elementos BIN del programa de restitución Digi en
capas shapefile (puntos, líneas, polígonos y textos) y añade los registros de
un shapefile a un fichero BIN. En modo catastro lee la base de datos de
topología (.mdb) y reparte el resultado en las diez capas de catastro.

Trae la ventana (parvenza), la línea de órdenes (parvenza-cli) y las cuatro
bibliotecas que usan: ficheros Digi (Brisquel), modelo de entidades
(Lumeral), lector DXF (Dornavel) y utilidades (Fenoquia).")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME parvenza-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "bibliotecas de Parvenza: cabeceras y ficheros para compilar con ellas
Cabeceras C++20 de las bibliotecas Brisquel (ficheros BIN de Digi), Lumeral
(modelo de entidades), Dornavel (lector DXF) y Fenoquia (utilidades), con el
paquete de CMake (find_package(Parvenza CONFIG)) y los ficheros de pkg-config.")

# dpkg-shlibdeps cannot place the plugin's libBrisquel.so.0, which sits in the runtime
# component (cpack fails; tried with a stand-in plugin): the package depends on parvenza by
# component and on GDAL's library by the name the plugin's build gives here. The C and C++
# runtimes by hand: the newest symbol versions the plugin takes are GLIBC_2.14 and
# GLIBCXX_3.4.29 (GCC 11) (objdump -T ogr_Digi.so).
set(PARVENZA_GDAL_PAQUETE "" CACHE STRING "Debian package of the libgdal the plugin links")
set(CPACK_DEBIAN_GDAL_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_GDAL_PACKAGE_DEPENDS
    "${PARVENZA_GDAL_PAQUETE}, libc6 (>= 2.14), libgcc-s1, libstdc++6 (>= 11)")
set(CPACK_DEBIAN_GDAL_PACKAGE_NAME parvenza-gdal)
set(CPACK_COMPONENT_GDAL_DEPENDS runtime)
set(CPACK_COMPONENT_GDAL_DESCRIPTION
  "controlador de GDAL para los ficheros BIN de Digi
Complemento de GDAL que lee y escribe hojas BIN de Digi desde cualquier
programa de GDAL.")

include(CPack)
