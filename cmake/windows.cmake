# What the Windows build needs besides the sources: the libraries built for Windows into the cache
# (Qt, SQLite, libmosquitto), wine to run its tests, GoogleTest built with the same toolchain from
# Debian's sources, and the C++ runtime for programs that do not use Qt.

# scripts/build-*-windows build each library once into the cache, one prefix per library and
# version (qt-6.4.2, sqlite-3.40.1, libmosquitto-2.0.11), finished when it holds the stamp
# .complete. Unless METEO_WINDOWS_PREFIXES names them, the newest finished prefix of each is taken.
if(NOT METEO_WINDOWS_PREFIXES)
  if(DEFINED ENV{METEO_QT_WINDOWS_CACHE})
    set(METEO_WINDOWS_CACHE $ENV{METEO_QT_WINDOWS_CACHE})
  else()
    set(METEO_WINDOWS_CACHE $ENV{HOME}/.cache/meteostation/qt-windows)
  endif()
  foreach(library qt sqlite libmosquitto)
    file(GLOB stamps LIST_DIRECTORIES false ${METEO_WINDOWS_CACHE}/${library}-[0-9]*/.complete)
    list(SORT stamps COMPARE NATURAL)
    if(stamps)
      list(POP_BACK stamps stamp)
      get_filename_component(prefix ${stamp} DIRECTORY)
      list(APPEND METEO_WINDOWS_PREFIXES ${prefix})
    endif()
  endforeach()
  list(APPEND CMAKE_FIND_ROOT_PATH ${METEO_WINDOWS_PREFIXES})
endif()
list(APPEND CMAKE_PREFIX_PATH ${METEO_WINDOWS_PREFIXES})
# pkg-config (libmosquitto) looks in those prefixes only, never at the host's libraries.
list(TRANSFORM METEO_WINDOWS_PREFIXES APPEND /lib/pkgconfig OUTPUT_VARIABLE pkg_config_folders)
string(REPLACE ";" ":" pkg_config_folders "${pkg_config_folders}")
set(ENV{PKG_CONFIG_LIBDIR} "${pkg_config_folders}")
unset(ENV{PKG_CONFIG_PATH})

# Without the Windows Qt only the HID backend and its tests are built. A Qt built before it had Qt
# Network counts as missing.
find_package(Qt6 QUIET COMPONENTS Core Gui Widgets Network)
set(METEO_WITH_QT ${Qt6_FOUND})
if(NOT Qt6_FOUND)
  message(STATUS "No Windows Qt with Core, Gui, Widgets and Network in ${METEO_WINDOWS_PREFIXES}: "
                 "the HID backend and its tests only (scripts/build-qt-windows builds it)")
endif()

# libmosquitto for Windows, the MQTT client: its DLL ships beside the programs. Whether it talks
# TLS is whether it links OpenSSL, and the MQTT page asks that of the build (METEO_MQTT_TLS).
# With no prefix at all there is nothing to ask: an empty PKG_CONFIG_LIBDIR is no variable to
# CMake, and pkg-config would answer with the host's own libmosquitto.
find_package(PkgConfig)
if(PKG_CONFIG_FOUND AND METEO_WINDOWS_PREFIXES)
  pkg_check_modules(METEO_WINDOWS_MOSQUITTO QUIET libmosquitto)
endif()
if(METEO_WITH_QT AND NOT METEO_WINDOWS_MOSQUITTO_FOUND)
  message(FATAL_ERROR "No libmosquitto for Windows in ${METEO_WINDOWS_PREFIXES}: "
                      "scripts/build-mosquitto-windows builds it (scripts/build-windows does that too)")
elseif(METEO_WINDOWS_MOSQUITTO_FOUND)
  pkg_get_variable(prefix libmosquitto prefix)
  set(METEO_MOSQUITTO_DLL ${prefix}/bin/libmosquitto.dll)
  file(STRINGS ${METEO_MOSQUITTO_DLL} openssl REGEX "^libssl" LIMIT_COUNT 1)
  if(openssl)
    set(METEO_MQTT_TLS ON CACHE BOOL "libmosquitto was built with TLS" FORCE)
  else()
    set(METEO_MQTT_TLS OFF CACHE BOOL "libmosquitto was built with TLS" FORCE)
  endif()
endif()

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
