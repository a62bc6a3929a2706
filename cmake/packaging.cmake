# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it:
#   bin/korvane, bin/korvane-run, bin/korvane-plant
#   share/korvane/examples/            the example programs and the tank plant model
#   share/doc/korvane/                 the manual and its pictures
#   share/applications/korvane.desktop, share/icons/hicolor/scalable/apps/korvane.svg
#   share/man/man1/korvane-run.1
# Installed, the window finds the manual in ../share/doc/korvane and the examples in
# ../share/korvane/examples relative to the program.
# Install and cpack take what was built: `./dev package` builds the installed programs only.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

foreach(program korvane korvane-run korvane-plant)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The plant model's sources too: a model of one's own starts from them, and they build on
# their own (cmake -S .../examples/plant).
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/korvane/examples)
install(FILES docs/manual.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane)
install(DIRECTORY docs/images DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane)
install(FILES packaging/korvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/korvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The man page with this version in it, compressed as Debian keeps man pages.
configure_file(packaging/korvane-run.1.in ${PROJECT_BINARY_DIR}/generated/korvane-run.1 @ONLY)
file(ARCHIVE_CREATE OUTPUT ${PROJECT_BINARY_DIR}/generated/korvane-run.1.gz
     PATHS ${PROJECT_BINARY_DIR}/generated/korvane-run.1 FORMAT raw COMPRESSION GZip)
install(FILES ${PROJECT_BINARY_DIR}/generated/korvane-run.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "Korvane")
set(CPACK_PACKAGE_CONTACT "Korvane developers <dev@korvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "S7-200 PLC simulator for teaching and for testing PLC programs")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvane runs S7-200 PLC programs (STL exported from STEP 7-MicroWIN) without hardware: a Qt window\n"
    "with input and output panels, status tables and the program status, and korvane-run, a headless\n"
    "runner for the command line and CI. It serves Modbus RTU and PPI on serial lines and an object\n"
    "link for plant models (korvane-plant, a water tank).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY korvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries' packages come from dpkg-shlibdeps (dpkg-dev); the window also needs
# Qt's platform plugins (the X11 and Wayland back ends) and a font with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei | fonts-noto-cjk | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, socat")
include(CPack)
