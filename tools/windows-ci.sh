#!/usr/bin/env bash
# The Windows build's CI: installs the MinGW-w64 cross compiler and Wine, builds the Linux
# programs that the Windows COM port row runs against (gyro-sim, make-fwr, morvane-gyro-cli,
# in build/), then configures, builds and tests the Windows programs in build-windows/
# (cmake --workflow --preset windows): the unit and headless tests under Wine, and the row.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/ensure-packages.sh cmake g++ make libgtest-dev libgmock-dev googletest \
  g++-mingw-w64-x86-64 wine wine64 imagemagick

cmake --preset default
cmake --build --preset default --target gyro-sim make-fwr morvane-gyro-cli
cmake --workflow --preset windows
