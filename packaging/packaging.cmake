# Installation and the Debian package.
#
# `cmake --install` puts the programs under bin/, the menu entry and the icon where the
# desktop finds them, and share/norda-console/installed, the mark by which an installed
# copy keeps its settings and journals in the user's folders instead of beside the
# executable. `cpack -G DEB` (in the build folder) builds the Debian package; the shared
# libraries it needs are found by dpkg-shlibdeps, the SQLite plugin Qt loads at run time
# is declared by hand.
set(NORDA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

if(NORDA_BUILD_GUI)
    install(FILES ${NORDA_PACKAGING_DIR}/norda-console.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/images/icons/norda4200-icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME norda-console.png)
endif()
install(FILES ${NORDA_PACKAGING_DIR}/installed
    DESTINATION ${CMAKE_INSTALL_DATADIR}/norda-console)
# The monitor as a system service, one instance per configuration in /etc/norda-console.
install(FILES ${NORDA_PACKAGING_DIR}/norda-monitor@.service DESTINATION lib/systemd/system)

# Manual pages, made from each program's --help and --version and the sections in
# packaging/man. The console answers both before it opens a window; `timeout` keeps a
# program that would not from holding the build.
find_program(NORDA_HELP2MAN help2man)
if(NORDA_HELP2MAN)
    set(NORDA_MAN_PROGRAMS norda-cli norda-devsim)
    if(NORDA_BUILD_GUI)
        list(APPEND NORDA_MAN_PROGRAMS norda-console)
    endif()
    set(NORDA_MAN_PAGES)
    foreach(program ${NORDA_MAN_PROGRAMS})
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
                timeout 60 ${NORDA_HELP2MAN} --no-info --section=1 --locale=C.UTF-8
                --include=${NORDA_PACKAGING_DIR}/man/${program}.h2m --output=${page}
                $<TARGET_FILE:${program}>
            COMMAND gzip -9n -f ${page}
            DEPENDS ${program} ${NORDA_PACKAGING_DIR}/man/${program}.h2m
            VERBATIM)
        list(APPEND NORDA_MAN_PAGES ${page}.gz)
    endforeach()
    add_custom_target(norda_man ALL DEPENDS ${NORDA_MAN_PAGES})
    install(FILES ${NORDA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "manual pages skipped: help2man missing")
endif()
install(FILES ${NORDA_PACKAGING_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Debian wants the changelog compressed, without a time stamp in the gzip header.
set(NORDA_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${NORDA_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${NORDA_PACKAGING_DIR}/changelog > ${NORDA_CHANGELOG_GZ}
    DEPENDS ${NORDA_PACKAGING_DIR}/changelog
    VERBATIM)
add_custom_target(norda_changelog ALL DEPENDS ${NORDA_CHANGELOG_GZ})
install(FILES ${NORDA_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norda-console)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "norda-console developers")
set(CPACK_PACKAGE_CONTACT "norda-console developers <dev@norda.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configuration and monitoring console for public-alerting networks")
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "norda-console configures the devices of a NORDA public-alerting network
(central switching units, extension units, loudspeakers, microphone consoles,
media converters) over USB or Ethernet, and monitors them over HTTP, recording
faults in an event journal that can be exported to spreadsheets and forwarded
to a syslog collector.

The package contains the desktop program norda-console, the command-line tool
norda-cli and the device simulator norda-devsim.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so dpkg-shlibdeps cannot see them: the SQLite driver, and Qt's
# Russian texts of its own buttons and dialogs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
