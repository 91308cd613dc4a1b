# Windows resources of a program, compiled by windres (CMake's RC language) into the .exe:
# its application manifest, its version record and, when asked for, the program icon.
#
#   morvane_add_windows_resources(<target>
#       DESCRIPTION <text>   the version record's FileDescription
#       [ICON]               the program icon, made at build time from res/icon128_xpm.h in
#                            16, 32, 48 and 128 pixels, as ICON resource 128 (IDR_MAINFRAME)
#       [COMMON_CONTROLS])   the manifest asks for Common Controls 6 (visual styles)
#
# The manifest: Windows 10 and 11, run as the invoking user, per-monitor DPI awareness (v2),
# and UTF-8 as the process's ANSI code page, so that the C runtime's narrow file calls and the
# A functions take the program's UTF-8 paths as they are.
#
# Included from the top folder's file scope: enable_language must not run inside a function.
enable_language(RC)

set(MORVANE_WINDOWS_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/windows-resources)

# The icon needs ImageMagick (IM 6's convert or IM 7's magick). Without it the build stops
# here rather than make programs without their icon.
find_program(MORVANE_IMAGEMAGICK NAMES magick convert-im6.q16 convert)
if(MORVANE_IMAGEMAGICK)
  execute_process(COMMAND ${MORVANE_IMAGEMAGICK} -version OUTPUT_VARIABLE _morvane_im_version
                  ERROR_QUIET RESULT_VARIABLE _morvane_im_result)
endif()
if(NOT MORVANE_IMAGEMAGICK OR NOT _morvane_im_result EQUAL 0
   OR NOT _morvane_im_version MATCHES "ImageMagick")
  message(FATAL_ERROR "The Windows programs' icon is made with ImageMagick, which was not found "
                      "(MORVANE_IMAGEMAGICK=${MORVANE_IMAGEMAGICK}): install the Debian package "
                      "imagemagick (apt-get install imagemagick).")
endif()

# One icon file for every program, made once.
set(MORVANE_WINDOWS_ICON ${CMAKE_BINARY_DIR}/generated/win32/morvane.ico)
add_custom_command(
  OUTPUT ${MORVANE_WINDOWS_ICON}
  COMMAND ${CMAKE_COMMAND} -DXPM_HEADER=${PROJECT_SOURCE_DIR}/res/icon128_xpm.h
          -DIMAGEMAGICK=${MORVANE_IMAGEMAGICK} -DICON=${MORVANE_WINDOWS_ICON}
          -P ${MORVANE_WINDOWS_RESOURCES_DIR}/make-icon.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/res/icon128_xpm.h ${MORVANE_WINDOWS_RESOURCES_DIR}/make-icon.cmake
  COMMENT "Making the Windows program icon from res/icon128_xpm.h"
  VERBATIM)
add_custom_target(morvane_windows_icon DEPENDS ${MORVANE_WINDOWS_ICON})

function(morvane_add_windows_resources target)
  cmake_parse_arguments(ARG "ICON;COMMON_CONTROLS" "DESCRIPTION" "" ${ARGN})
  if(NOT ARG_DESCRIPTION)
    message(FATAL_ERROR "morvane_add_windows_resources(${target}): DESCRIPTION is missing")
  endif()

  # 1.07: "1.07" in the texts, 1,7,0,0 in the numbers.
  set(VERSION_NUMBERS "")
  foreach(part MAJOR MINOR PATCH TWEAK)
    set(number "${PROJECT_VERSION_${part}}")
    if(number STREQUAL "")
      set(number 0)
    endif()
    math(EXPR number "${number}")  # "07" as 7
    list(APPEND VERSION_NUMBERS ${number})
  endforeach()
  list(JOIN VERSION_NUMBERS "," VERSION_COMMAS)
  list(JOIN VERSION_NUMBERS "." VERSION_DOTS)
  set(VERSION_TEXT ${PROJECT_VERSION})
  set(DESCRIPTION ${ARG_DESCRIPTION})
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(FILE_NAME ${output_name}${CMAKE_EXECUTABLE_SUFFIX})
  set(PROGRAM_NAME ${output_name})

  set(COMMON_CONTROLS_DEPENDENCY "")
  if(ARG_COMMON_CONTROLS)
    file(READ ${MORVANE_WINDOWS_RESOURCES_DIR}/common-controls.xml COMMON_CONTROLS_DEPENDENCY)
  endif()
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
  set(MANIFEST_FILE ${folder}/${target}.manifest)
  configure_file(${MORVANE_WINDOWS_RESOURCES_DIR}/program.manifest.in ${MANIFEST_FILE} @ONLY)

  set(ICON_LINE "")
  set(depends ${MANIFEST_FILE})
  if(ARG_ICON)
    set(ICON_LINE "128 ICON \"${MORVANE_WINDOWS_ICON}\"")
    list(APPEND depends ${MORVANE_WINDOWS_ICON})
    add_dependencies(${target} morvane_windows_icon)
  endif()
  set(rc ${folder}/${target}.rc)
  configure_file(${MORVANE_WINDOWS_RESOURCES_DIR}/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
  target_sources(${target} PRIVATE ${rc})
endfunction()
