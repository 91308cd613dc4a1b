# The Windows installer, build-windows/morvane-gyro-tools-<version>-setup.exe, made with
# Debian's makensis (package nsis) as part of the build. It carries morvane-gyro-cli.exe and,
# when the build has it, the desktop program morvane-gyro-tools.exe with its Start-menu
# shortcut. MORVANE_WINDOWS_ICON (a .ico file; a cache variable when set in a subfolder)
# becomes the installer's and uninstaller's icon.
find_program(MORVANE_MAKENSIS makensis)
set(MORVANE_SETUP_EXE ${CMAKE_BINARY_DIR}/morvane-gyro-tools-${PROJECT_VERSION}-setup.exe)
if(NOT MORVANE_MAKENSIS OR NOT CMAKE_STRIP)
  message(WARNING "makensis (Debian package nsis) or the MinGW-w64 strip not found: "
          "no Windows installer")
  return()
endif()

# Run when the whole tree has been read, so that a desktop program target defined anywhere in
# it is seen.
function(morvane_add_windows_installer)
  # The programs go in without their debugging information (a tenth of the size), stripped
  # into a folder of the installer's own; the build's own programs keep it.
  set(stage ${CMAKE_BINARY_DIR}/installer)
  set(programs morvane-gyro-cli)
  set(defines -DCLI_EXE=${stage}/morvane-gyro-cli.exe)
  if(TARGET morvane-gyro-tools)
    list(APPEND programs morvane-gyro-tools)
    list(APPEND defines -DTOOLS_EXE=${stage}/morvane-gyro-tools.exe)
  endif()
  set(strip_commands)
  foreach(program IN LISTS programs)
    list(APPEND strip_commands COMMAND ${CMAKE_STRIP} -o ${stage}/${program}.exe
         $<TARGET_FILE:${program}>)
  endforeach()
  set(script ${PROJECT_SOURCE_DIR}/packaging/windows/morvane-gyro-tools.nsi)
  list(APPEND defines -DVERSION=${PROJECT_VERSION} -DOUTFILE=${MORVANE_SETUP_EXE}
       -DREADME=${PROJECT_SOURCE_DIR}/README.md -DCOPYRIGHT=${PROJECT_SOURCE_DIR}/packaging/copyright)
  set(depends ${script} ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
      ${programs})
  if(MORVANE_WINDOWS_ICON)
    list(APPEND defines -DICON=${MORVANE_WINDOWS_ICON})
    list(APPEND depends ${MORVANE_WINDOWS_ICON})
  endif()
  add_custom_command(OUTPUT ${MORVANE_SETUP_EXE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
    ${strip_commands}
    COMMAND ${MORVANE_MAKENSIS} -V2 -WX ${defines} ${script}
    DEPENDS ${depends}
    COMMENT "Making the Windows installer ${MORVANE_SETUP_EXE}"
    VERBATIM)
  add_custom_target(windows-installer ALL DEPENDS ${MORVANE_SETUP_EXE})
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL morvane_add_windows_installer)
