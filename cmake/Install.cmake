# `cmake --install` and the Debian package. The programs find their shipped files in
# ../share/velquor beside their bin directory; finding that directory is also what tells them
# they are installed and must write into the user's directories (common/ProgramPaths).
include(GNUInstallDirs)

set(VELQUOR_APP_ID example.velquor.VelquorPro)
# udev reads rules from /etc, /run and /usr/lib, never /usr/local: an install under another
# prefix puts the rule there all the same, and the README says where to copy it.
set(VELQUOR_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "Where the udev rule is installed")

install(TARGETS velquor velquor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/resources/UidList.ini
  ${PROJECT_SOURCE_DIR}/resources/devnone.lst
  ${PROJECT_SOURCE_DIR}/resources/lang_ch.ini
  ${PROJECT_SOURCE_DIR}/resources/lang_en.ini
  ${PROJECT_SOURCE_DIR}/resources/lang_ch_2.ini
  ${PROJECT_SOURCE_DIR}/resources/lang_en_2.ini
  DESTINATION share/velquor)
install(FILES ${PROJECT_SOURCE_DIR}/resources/rigs/default.json DESTINATION share/velquor/rigs)
install(FILES ${PROJECT_SOURCE_DIR}/resources/60-velquor.rules
  DESTINATION ${VELQUOR_UDEV_RULES_DIR})

set(package ${PROJECT_SOURCE_DIR}/resources/package)
install(FILES ${package}/${VELQUOR_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${package}/${VELQUOR_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${package}/velquor.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${VELQUOR_APP_ID}.svg)
install(FILES ${package}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velquor)

# Manual pages and the changelog are installed compressed, as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(velquor_compressed)
foreach(source velquor.1 velquor-cli.1 changelog)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/package/${source}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/package
    COMMAND ${GZIP_PROGRAM} -9nc ${package}/${source} > ${compressed}
    DEPENDS ${package}/${source} VERBATIM)
  list(APPEND velquor_compressed ${compressed})
endforeach()
add_custom_target(velquor_package_files ALL DEPENDS ${velquor_compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/velquor.1.gz
  ${CMAKE_CURRENT_BINARY_DIR}/package/velquor-cli.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velquor)

# The Debian package: velquor_<version>_amd64.deb, its library dependencies from
# dpkg-shlibdeps; the window's platform plugins are loaded at run time, so named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velquor)
set(CPACK_PACKAGE_VENDOR Velquor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velquor Pro developers <dev@velquor.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.velquor.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "controller for DMX512 lighting fixtures that speak RDM")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${package}/description)
include(CPack)
