# `cmake --install` puts the program, gqtool, the desktop entry, the icon and the MIME
# type of .gqdb databases into the usual places under the prefix; `cpack -G DEB` builds
# a Debian package of them whose dependencies come from dpkg-shlibdeps.
include(GNUInstallDirs)
set(GQ_PACKAGE_FILES ${PROJECT_SOURCE_DIR}/src/setup/package)
install(TARGETS GlimmerQuorum gqtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${GQ_PACKAGE_FILES}/GlimmerQuorum.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/resources/glimmerquorum.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${GQ_PACKAGE_FILES}/glimmerquorum.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glimmerquorum)
set(CPACK_PACKAGE_VENDOR GlimmerQuorum)
set(CPACK_PACKAGE_CONTACT "GlimmerQuorum developers <glimmerquorum@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Picture database that finds pictures that look alike")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/glimmerquorum/glimmerquorum)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
