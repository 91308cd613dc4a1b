# What `cmake --install` puts where, and the Debian package CPack makes of it: the programs,
# the desktop entry with the icon in the hicolor theme, AppStream metainfo, the manual pages
# and the README.
include(GNUInstallDirs)
set(MORVANE_PACKAGE morvane-gyro-tools)
set(MORVANE_METAINFO_ID org.morvane.GyroTools)
set(MORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${MORVANE_PACKAGE})
set(MORVANE_MAINTAINER "Morvane RC Gyro Tools developers <morvane-gyro-tools@example.org>"
    CACHE STRING "The Debian package's maintainer")
set(MORVANE_GENERATED ${CMAKE_BINARY_DIR}/packaging)

set(morvane_programs morvane-gyro-cli gyro-sim)
if(MORVANE_WITH_QT)
  list(PREPEND morvane_programs morvane-gyro-tools)
endif()
install(TARGETS ${morvane_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, written in packaging/man, with the version and date filled in and compressed
# as Debian wants them.
set(MORVANE_RELEASE_DATE 2026-12-07)
set(man_pages "")
foreach(program IN LISTS morvane_programs)
  set(page ${MORVANE_GENERATED}/man/${program}.1)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${program}.1.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9nkf ${page}
    DEPENDS ${page}
    VERBATIM)
  list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(man-pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Bash completion, where bash-completion loads it on demand by the command's name.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/morvane-gyro-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The README, the copyright and a Debian changelog, compressed as Debian wants it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${MORVANE_GENERATED}/changelog @ONLY)
add_custom_command(OUTPUT ${MORVANE_GENERATED}/changelog.gz
  COMMAND gzip -9nkf ${MORVANE_GENERATED}/changelog
  DEPENDS ${MORVANE_GENERATED}/changelog
  VERBATIM)
add_custom_target(package-changelog ALL DEPENDS ${MORVANE_GENERATED}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright
              ${MORVANE_GENERATED}/changelog.gz
        DESTINATION ${MORVANE_DOC_DIR})

# The desktop program's entry, its icon drawn from the program's own at the theme's usual
# sizes, and its AppStream metainfo.
if(MORVANE_WITH_QT)
  add_executable(render-icons ${CMAKE_CURRENT_LIST_DIR}/render_icons_main.cpp)
  target_link_libraries(render-icons PRIVATE morvane::qt morvane::res morvane_warnings)
  set(icon_sizes 16 24 32 48 64 128 256)
  set(icons "")
  foreach(size IN LISTS icon_sizes)
    list(APPEND icons ${MORVANE_GENERATED}/hicolor/${size}x${size}/apps/${MORVANE_PACKAGE}.png)
  endforeach()
  add_custom_command(OUTPUT ${icons}
    COMMAND render-icons ${MORVANE_GENERATED}/hicolor ${MORVANE_PACKAGE} ${icon_sizes}
    DEPENDS render-icons
    VERBATIM)
  add_custom_target(icons ALL DEPENDS ${icons})
  install(DIRECTORY ${MORVANE_GENERATED}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

  configure_file(${CMAKE_CURRENT_LIST_DIR}/metainfo.xml.in
                 ${MORVANE_GENERATED}/${MORVANE_METAINFO_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${MORVANE_PACKAGE}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${MORVANE_GENERATED}/${MORVANE_METAINFO_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The Debian package: morvane-gyro-tools_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${MORVANE_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MORVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up the Morvane tq480 tail gyro of an RC helicopter")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Connect the tail gyro of your radio-controlled helicopter to a serial port, by
USB cable or through a Bluetooth serial adapter, and this tool reads what the
gyro holds: its identity, the servo endpoints and midpoint trim, servo type and
speed, the rudder stick deadband, and the gains, exponentials and sensitivity
of both modes. Change them on the tool's pages and store them back into the
gyro once you have landed, idled the engine and stopped the rotor. It also
updates the gyro's firmware from a .fwr file.

morvane-gyro-cli does the same from the command line, for backups and for
copying one gyro's settings into another; with --verify it reads a store back
and names every value the gyro did not take. gyro-sim is a software gyro to try
it all without a helicopter.")
include(CPack)
