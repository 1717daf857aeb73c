# What the Windows build needs besides the sources: wine to run its tests, GoogleTest built with the
# same toolchain from Debian's sources, and the C++ runtime for programs that do not use Qt.

find_program(METEO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT METEO_WINE)
  message(WARNING "wine64 not found: the Windows tests cannot run here")
endif()

# Debian's libgtest-dev ships the sources; built here for Windows.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Programs and libraries without Qt carry their C++ runtime inside, so they run from any folder.
function(meteo_static_runtime target)
  target_link_options(${target} PRIVATE -static)
endfunction()

# The program's icon in Explorer, the taskbar and shortcuts: packaging/windows/meteostation.ico,
# made of packaging/icons (icotool -c from icoutils; PNG entries from 64 pixels up, where Windows
# reads them). Qt sets the window's icon from its resources as on Linux.
function(meteo_windows_icon target)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_icon.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT "1 ICON \"${PROJECT_SOURCE_DIR}/packaging/windows/meteostation.ico\"\n")
  target_sources(${target} PRIVATE ${rc})
endfunction()
