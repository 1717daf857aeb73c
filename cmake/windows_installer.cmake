# The Windows installer, meteostation-<version>-windows-x64-setup.exe in the build folder, made by
# Debian's NSIS (makensis) from packaging/windows/meteostation.nsi: the folder the zip is made of,
# installed afresh into installer-files/, is what it puts in place. `cmake --build build-windows
# --target meteo_installer` (scripts/build-windows does it after the zip).
find_program(METEO_MAKENSIS makensis NO_CMAKE_FIND_ROOT_PATH)
if(NOT METEO_MAKENSIS)
  message(WARNING "makensis not found (Debian's nsis): the Windows installer cannot be made here")
  return()
endif()
set(METEO_INSTALLER ${CMAKE_BINARY_DIR}/meteostation-${PROJECT_VERSION}-windows-x64-setup.exe)
set(staged ${CMAKE_BINARY_DIR}/installer-files)
set(list ${CMAKE_BINARY_DIR}/installer-files.nsh)
add_custom_target(meteo_installer
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${staged}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${staged}
  COMMAND ${CMAKE_COMMAND} -DFILES=${staged} -DOUTPUT=${list} -P ${PROJECT_SOURCE_DIR}/packaging/windows/installer_files.cmake
  COMMAND ${METEO_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION} -DFILES_NSH=${list}
          -DICON=${PROJECT_SOURCE_DIR}/packaging/windows/meteostation.ico -DOUTFILE=${METEO_INSTALLER}
          ${PROJECT_SOURCE_DIR}/packaging/windows/meteostation.nsi
  BYPRODUCTS ${METEO_INSTALLER}
  COMMENT "The Windows installer: ${METEO_INSTALLER}"
  VERBATIM)
add_dependencies(meteo_installer meteostation meteostation-demo meteostation-hid-list)
