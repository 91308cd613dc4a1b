#!/usr/bin/env bash
# Regenerates the README's pictures of the pages, docs/screenshots/*.png: builds, runs the Qt
# tests that read gyro-sim and choose every tab as a pilot would and that send it a firmware
# file, and copies their screenshots. With --windows, the Windows program's instead,
# docs/screenshots/windows/*.png: the Windows build's desktop test under Wine and Xvfb (after
# tools/windows-ci.sh has set the Windows build up).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --windows ]; then
  pages=(main common servo mode1 mode2 firmware agreement firmware-sending)
  for page in "${pages[@]}"; do rm -f "build-windows/screenshots/$page.png"; done
  cmake --build --preset windows --target morvane-gyro-tools
  ctest --test-dir build-windows -R '^desktop_com_port$' --output-on-failure
  mkdir -p docs/screenshots/windows
  for page in "${pages[@]}"; do cp "build-windows/screenshots/$page.png" docs/screenshots/windows/; done
  echo "Updated: ${pages[*]/%/.png} in docs/screenshots/windows/"
  exit 0
fi

tools/ensure-packages.sh cmake g++ make libgtest-dev libgmock-dev qt6-base-dev fonts-liberation2
cmake --preset default
cmake --build --preset default --target qt_program_tests

pages=(main common servo mode1 mode2 firmware firmware-sending)
for page in "${pages[@]}"; do rm -f "build/screenshots/$page.png"; done
QT_QPA_PLATFORM=offscreen build/bin/qt_program_tests --gtest_filter='QtProgramTest.*'
mkdir -p docs/screenshots
for page in "${pages[@]}"; do cp "build/screenshots/$page.png" docs/screenshots/; done
echo "Updated: ${pages[*]/%/.png} in docs/screenshots/"
