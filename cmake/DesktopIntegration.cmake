# Desktop integration: the menu entry, the program's icon and the project file type, so that
# a double-click on a .zlp opens it in the workbench. The PNG icons are made from
# resources/desktop/zelbrin.svg (rsvg-convert -w N -h N).
set(ZELBRIN_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${ZELBRIN_DESKTOP_DIR}/icons/${size}x${size}/zelbrin.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${ZELBRIN_DESKTOP_DIR}/zelbrin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZELBRIN_DESKTOP_DIR}/zelbrin-project.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
# The entry names the installed program, whose folder is known only at install time
# (cmake --install --prefix).
install(CODE "
  set(ZELBRIN_DESKTOP_TEMPLATE \"${ZELBRIN_DESKTOP_DIR}/zelbrin.desktop.in\")
  set(ZELBRIN_PROGRAM_DIR \"${ZELBRIN_PROGRAM_DIR}\")
  set(ZELBRIN_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake)
