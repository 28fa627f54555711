# Installation as the program expects to run (the executable with 3Tdata beside it), the desktop entry and
# the icon for the freedesktop icon theme, and a Debian package built from the same rules (tools/package.sh):
#   cmake --preset package && cmake --build --preset package
#   cmake --install build/package --prefix /usr/local
#   cpack --config build/package/CPackConfig.cmake -G DEB -B build/package/deb
set(SONDRAL_INSTALL_DIR lib/sondral)

install(TARGETS Sondral RUNTIME DESTINATION ${SONDRAL_INSTALL_DIR})
install(FILES ${SONDRAL_TABLE_DIR}/Language.dat ${SONDRAL_TABLE_DIR}/Language.idx
        DESTINATION ${SONDRAL_INSTALL_DIR}/3Tdata)
# The command on the search path is a link to the executable, which finds 3Tdata beside its real path.
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(CREATE_LINK ../${SONDRAL_INSTALL_DIR}/Sondral \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/sondral\" SYMBOLIC)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/sondral\")")
install(FILES ${CMAKE_SOURCE_DIR}/app/desktop/sondral.desktop DESTINATION share/applications)
foreach(size IN LISTS SONDRAL_ICON_SIZES)
  install(FILES ${CMAKE_SOURCE_DIR}/app/icons/sondral-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME sondral.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/app/icons/sondral.svg DESTINATION share/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME sondral)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Sondral")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds the serial ports of navigation instruments for the chart program")
set(CPACK_PACKAGE_DESCRIPTION "Sondral scans every serial port at six baud rates, shows which NMEA 0183\n\
sentences each port delivers (position, course, speed, depth, water speed, AIS,\n\
heading, rate of turn) and writes one GPS and one AIS port as data connections\n\
into the chart program's configuration.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Sondral developers <developers@sondral.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries the executable links come from dpkg-shlibdeps; what it loads at run time is named here: the
# window system's platform plugins and the metric-compatible dialog font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/app/desktop/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
