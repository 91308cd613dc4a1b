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

packages=(cmake g++ make libgtest-dev libgmock-dev qt6-base-dev fonts-liberation2)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi

cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
