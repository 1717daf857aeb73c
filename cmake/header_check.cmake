# Each header of the program compiles on its own, included first and twice: a header that leans on
# what its users happened to include before it, or that lacks its #pragma once, fails here, naming
# itself. Every header a library lists among its sources is compiled as a file of its own with that
# library's flags, include paths and definitions (a header of one system only is listed only by that
# system's libraries, so it is checked only in that system's build). The target meteo_header_check
# is left out of the default build; scripts/check-headers builds it and names the headers that fail,
# and the headers no library lists. Tests, benchmarks and fuzz targets are not checked: their
# headers are the tests' own.

function(meteo_add_header_check)
  set(generated ${CMAKE_BINARY_DIR}/header_check)
  set(checked "")
  add_custom_target(meteo_header_check)
  # The project's folders, and the compiler's own, which are never named on its command line (an
  # -isystem of one would hide the C library's headers from #include_next).
  set(folders ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
  list(TRANSFORM folders REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1")
  list(POP_FRONT folders source_folder binary_folder)
  set(source_folders "^(${source_folder}|${binary_folder})(/|$)")
  list(JOIN folders "|" implicit_folders)
  set(implicit_folders "^(${implicit_folders})/?$")
  meteo_directory_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(folder ${target} SOURCE_DIR)
    file(RELATIVE_PATH relative_folder ${PROJECT_SOURCE_DIR} ${folder})
    if(relative_folder MATCHES "^(tests|bench|fuzz)(/|$)")
      continue()
    endif()
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|INTERFACE_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    if(NOT sources)
      continue()
    endif()
    set(files "")
    foreach(source IN LISTS sources)
      if(NOT source MATCHES "\\.h$")
        continue()
      endif()
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${folder} NORMALIZE OUTPUT_VARIABLE header)
      file(RELATIVE_PATH header ${PROJECT_SOURCE_DIR} ${header})
      # A header two libraries list is checked with the first.
      if(header IN_LIST checked OR NOT EXISTS ${PROJECT_SOURCE_DIR}/${header} OR header MATCHES "^\\.\\./")
        continue()
      endif()
      list(APPEND checked ${header})
      set(file ${generated}/${header}.cpp)
      file(CONFIGURE OUTPUT ${file} CONTENT "#include \"${header}\"\n#include \"${header}\"\n")
      list(APPEND files ${file})
    endforeach()
    if(NOT files)
      continue()
    endif()
    set(check meteo_header_check_${target})
    add_library(${check} OBJECT EXCLUDE_FROM_ALL ${files})
    set_target_properties(${check} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF POSITION_INDEPENDENT_CODE ON)
    # What the library's own files are compiled with: its definitions, options and include paths and
    # those that all it links, public or private, asks for. They are read through the library itself,
    # as what it links may be known only in its own folder. The include paths go through a response
    # file written with the library as the head of the evaluation: read from the check's own include
    # paths, CMake would leave out those of what the library links. The headers of other projects are
    # system headers, as in the library's own build, so their warnings are not taken for ours.
    if(type STREQUAL "INTERFACE_LIBRARY")
      set(prefix INTERFACE_)
    else()
      set(prefix "")
    endif()
    set(includes "$<TARGET_PROPERTY:${target},${prefix}INCLUDE_DIRECTORIES>")
    set(own "$<FILTER:${includes},INCLUDE,${source_folders}>")
    set(others "$<FILTER:$<FILTER:${includes},EXCLUDE,${source_folders}>,EXCLUDE,${implicit_folders}>")
    set(paths ${generated}/${target}.includes)
    file(GENERATE OUTPUT ${paths} CONTENT "$<$<BOOL:${own}>:\"-I$<JOIN:${own},\"\n\"-I>\"\n>$<$<BOOL:${others}>:\"-isystem$<JOIN:${others},\"\n\"-isystem>\"\n>"
         TARGET ${target})
    target_compile_options(${check} PRIVATE "@${paths}" "$<TARGET_PROPERTY:${target},${prefix}COMPILE_OPTIONS>")
    target_compile_definitions(${check} PRIVATE "$<TARGET_PROPERTY:${target},${prefix}COMPILE_DEFINITIONS>")
    set_source_files_properties(${files} PROPERTIES OBJECT_DEPENDS ${paths})
    add_dependencies(meteo_header_check ${check})
  endforeach()
  list(SORT checked)
  list(JOIN checked "\n" listed)
  file(CONFIGURE OUTPUT ${generated}/headers.txt CONTENT "${listed}\n")
endfunction()
