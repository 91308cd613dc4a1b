#!/usr/bin/env bash
# Runs the pty-labelled tests of a build, the desktop program's tests, and the tests of files
# that other users must not reach (the settings file, the single-instance lock), once as a user
# who is not root (nobody by default), so that nothing they check holds only with root's
# rights. Run as root:
#   tools/run-pty-tests-unprivileged.sh [BUILD_DIR] [USER]
# The user gets its own HOME and XDG folders and a folder for ctest's log; folders on the way to
# the build that the user cannot pass through get o+x (pass only, no reading).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
user=${2:-nobody}
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root, to become $user" >&2; exit 2; }
group=$(id -g "$user")
as_user() { setpriv --reuid="$user" --regid="$group" --clear-groups "$@"; }

dir=$build
while [ "$dir" != / ]; do
  if ! as_user test -x "$dir"; then
    echo "$0: letting $user pass through $dir"
    chmod o+x "$dir"
  fi
  dir=$(dirname "$dir")
done
as_user test -r "$build/CTestTestfile.cmake" || { echo "$0: $user cannot read $build" >&2; exit 1; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
chown "$user" "$home"
install -d -o "$user" "$build/Testing/Temporary"
# The tests' own history folder and the program test's screenshots are the user's for the run.
mkdir -p "$build/test-home/state" "$build/screenshots"
chown -R "$user" "$build/test-home/state" "$build/screenshots"
status=0
as_user env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" \
  XDG_RUNTIME_DIR="$home/run" XDG_STATE_HOME="$home/state" TMPDIR=/tmp \
  ctest --test-dir "$build" -L pty --output-on-failure -j2 || status=$?
as_user env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" \
  XDG_RUNTIME_DIR="$home/run" XDG_STATE_HOME="$home/state" TMPDIR=/tmp \
  ctest --test-dir "$build" -R '^(Settings|SingleInstance|QtProgramTest|ProgramInstances)\.' --output-on-failure || status=$?
chown -R "$(id -u):$(id -g)" "$build/Testing" "$build/test-home/state" "$build/screenshots"
exit $status
