#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test. Exits non-zero when a test fails.
#   ./test.sh           normal build in build/
#   ./test.sh --ci      warnings are errors (the CI preset)
#   ./test.sh --asan    AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   ./test.sh --fuzz    every fuzz target under libFuzzer (clang) for 20 s each, in build-fuzz/
set -euo pipefail
cd "$(dirname "$0")"

preset=default
case "${1:-}" in
  --ci) preset=ci ;;
  --asan) preset=asan ;;
  --fuzz) preset=fuzz ;;
  "") ;;
  *) echo "usage: $0 [--ci|--asan|--fuzz]" >&2; exit 2 ;;
esac

tools/ensure-packages.sh cmake g++ make libgtest-dev libgmock-dev qt6-base-dev fonts-liberation2 \
  dpkg-dev file lintian desktop-file-utils appstream man-db bash-completion groff-base

if [ "$preset" = fuzz ]; then
  tools/ensure-packages.sh clang libclang-rt-14-dev
  cmake --preset fuzz
  # Only the fuzz targets: the rest of the suite runs in the other builds.
  cmake --build --preset fuzz --target $(basename -s .cpp tests/fuzz/fuzz_*.cpp | grep -v '^fuzz_driver$')
  ctest --preset fuzz
  exit
fi

cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
