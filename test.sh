#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test. Exits non-zero when a test fails.
#   ./test.sh           normal build in build/
#   ./test.sh --ci      warnings are errors (the CI preset)
#   ./test.sh --asan    AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")"

preset=default
case "${1:-}" in
  --ci) preset=ci ;;
  --asan) preset=asan ;;
  "") ;;
  *) echo "usage: $0 [--ci|--asan]" >&2; exit 2 ;;
esac

tools/ensure-packages.sh cmake g++ make libgtest-dev libgmock-dev qt6-base-dev fonts-liberation2 \
  dpkg-dev file lintian desktop-file-utils appstream

cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
