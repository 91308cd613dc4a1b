#!/usr/bin/env bash
# The Windows build's CI: installs the MinGW-w64 cross compiler, Wine and NSIS, builds the Linux
# programs that the Windows COM port row runs against (gyro-sim, make-fwr, morvane-gyro-cli,
# in build/), then configures, builds and tests the Windows programs in build-windows/
# (cmake --workflow --preset windows): the unit and headless tests under Wine, the command line's
# row, the desktop program's on an Xvfb display (xdotool presses its keys, ImageMagick takes
# its pictures), and the installer (build-windows/morvane-gyro-tools-<version>-setup.exe)
# installed and uninstalled under Wine. The installer is a 64-bit program like the others:
# Wine's 64-bit loader runs all of them, and wine32:i386 is not needed.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/ensure-packages.sh cmake g++ make libgtest-dev libgmock-dev googletest \
  g++-mingw-w64-x86-64 wine wine64 nsis xvfb xdotool imagemagick

cmake --preset default
cmake --build --preset default --target gyro-sim make-fwr morvane-gyro-cli
cmake --workflow --preset windows
