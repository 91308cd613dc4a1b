#!/usr/bin/env bash
# Sets up what is missing and makes the Debian package in build-package/.
set -euo pipefail
cd "$(dirname "$0")"

tools/ensure-packages.sh cmake g++ make qt6-base-dev dpkg-dev file

cmake --workflow --preset package
ls build-package/morvane-gyro-tools_*.deb
