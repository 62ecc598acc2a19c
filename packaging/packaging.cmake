# Installing Velmora and building its packages.
#
#   cmake --install build --prefix /usr     the program, the simulator, the desktop entry,
#                                           the icon and (Linux) the USB adapter's udev rule
#   cd build && cpack -G DEB                a .deb for Debian 12 with its dependencies
#
# On Windows the install step also runs Qt's deployment, which copies the Qt libraries and
# plugins beside velmora.exe.
include(GNUInstallDirs)

if(VELMORA_BUILD_UI)
  install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The user guide beside the program (share/velmora/guide: en/, ru/, pictures/).
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/guide/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/guide)
  # The DCC schemas the certificates are checked against (share/velmora/dcc), with their licences.
  if(TARGET velmora_dcc)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/dcc/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/dcc)
  endif()
  if(WIN32)
    qt_generate_deploy_app_script(TARGET velmora OUTPUT_SCRIPT VELMORA_DEPLOY_SCRIPT NO_UNSUPPORTED_PLATFORM_ERROR)
    install(SCRIPT ${VELMORA_DEPLOY_SCRIPT})
  endif()
endif()
if(TARGET velmora-thermometer-sim)
  install(TARGETS velmora-thermometer-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET velmora-recorder)
  install(TARGETS velmora-recorder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(UNIX AND NOT APPLE)
    # The recorder as a service: its arguments in /etc/default/velmora-recorder.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-recorder.service DESTINATION /lib/systemd/system)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-recorder.default DESTINATION /etc/default RENAME velmora-recorder)
  endif()
endif()
if(UNIX AND NOT APPLE)
  # A short manual page for each program.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/man/velmora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(TARGET velmora-thermometer-sim)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/man/velmora-thermometer-sim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  if(TARGET velmora-recorder)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/man/velmora-recorder.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # udev rules belong to /lib/udev/rules.d whatever the prefix.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-velmora-usb-adapter.rules DESTINATION /lib/udev/rules.d)
endif()

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "KORVAN")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Companion program of the QM-515 platinum-resistance thermometer")
set(CPACK_PACKAGE_CONTACT "Velmora developers <velmora@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link (Qt 6, QCustomPlot, hidapi) become the package's
# dependencies, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's own dialogs in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The recorder's arguments are the administrator's: kept over an upgrade.
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/default/velmora-recorder\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
set(CPACK_GENERATOR TGZ)
include(CPack)
