# Cross-builds the Windows programs with Debian's MinGW-w64 (g++-mingw-w64-x86-64) and runs
# what the build and the tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MORVANE_MINGW_PREFIX x86_64-w64-mingw32)
# The posix flavour: std::thread and std::mutex, which the tests use, come with winpthread.
find_program(CMAKE_CXX_COMPILER NAMES ${MORVANE_MINGW_PREFIX}-g++-posix ${MORVANE_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${MORVANE_MINGW_PREFIX}-gcc-posix ${MORVANE_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${MORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime and winpthread linked in, so that each .exe runs without DLLs beside it.
# The programs take their command lines wide (wmain, -municode on their own targets); the test
# programs keep GoogleTest's main.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs the build's programs (test discovery, the tests) in a prefix of the build's own,
# made on first use, without its debugging chatter and without offering to install Mono or
# Gecko, which nothing here needs.
find_program(MORVANE_WINE NAMES wine wine64)
set(MORVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
if(MORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${MORVANE_WINE_PREFIX} WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml= ${MORVANE_WINE})
endif()
