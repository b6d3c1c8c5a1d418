# Runs at install time: writes the desktop entry that starts the installed workbench and
# brings the desktop's file-type and program caches up to date, so that .zlp files open in
# the workbench at once. A package build (DESTDIR) leaves the caches to the system's own
# triggers.
set(share "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${ZELBRIN_DATADIR}")
set(ZELBRIN_WORKBENCH "${CMAKE_INSTALL_PREFIX}/${ZELBRIN_PROGRAM_DIR}/zelbrin")
message(STATUS "Installing: ${share}/applications/zelbrin.desktop")
configure_file("${ZELBRIN_DESKTOP_TEMPLATE}" "${share}/applications/zelbrin.desktop" @ONLY)

if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
foreach(step "update-mime-database;${share}/mime" "update-desktop-database;${share}/applications")
  list(GET step 0 tool)
  list(SUBLIST step 1 -1 arguments)
  find_program(tool_path ${tool})
  if(NOT tool_path)
    message(STATUS "${tool} not found: run it on ${share} to register the project file type")
  else()
    execute_process(COMMAND ${tool_path} ${arguments} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(WARNING "${tool} ${arguments} failed (${result})")
    endif()
  endif()
  unset(tool_path CACHE)
  unset(tool_path)
endforeach()
