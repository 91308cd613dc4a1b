#!/usr/bin/env bash
# The Debian package as a pilot gets it: built by CPack, without lintian errors, its desktop
# entry and metainfo valid, every program it installs answering the command-line conventions
# and its manual page shown by man without warnings in 80 columns with its sections.
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-shlibdeps lintian desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (./test.sh installs it)"
done

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log") ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
deb="$scratch/out/morvane-gyro-tools_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$scratch/out")"
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"

status=0
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
cat "$scratch/lintian.log"
[ $status -eq 0 ] && ! grep -q '^E:' "$scratch/lintian.log" || fail "lintian reports errors"

root="$scratch/root"
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/morvane-gyro-tools.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
for size in 16 32 48 128 256; do
  [ -s "$root/usr/share/icons/hicolor/${size}x${size}/apps/morvane-gyro-tools.png" ] ||
    fail "no ${size}x${size} icon"
done

# A wrong option reaches Qt, which needs a screen and a runtime folder.
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
for program in morvane-gyro-tools morvane-gyro-cli gyro-sim; do
  installed="$root/usr/bin/$program"
  [ "$("$installed" --version)" = "$program $version" ] || fail "$program --version"
  "$installed" --help | head -1 | grep -q "^Usage: $program" || fail "$program --help"
  status=0
  "$installed" --no-such-option >"$scratch/out.txt" 2>"$scratch/err.txt" || status=$?
  [ $status -eq 2 ] && [ ! -s "$scratch/out.txt" ] && [ "$(wc -l <"$scratch/err.txt")" -eq 1 ] ||
    fail "$program --no-such-option: status $status, $(cat "$scratch/err.txt")"
  page="$root/usr/share/man/man1/$program.1.gz"
  [ -f "$page" ] || fail "no manual page for $program"
  warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$program(1): $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" >"$scratch/page.txt" 2>/dev/null
  wide=$(awk 'length($0) > 80' "$scratch/page.txt")
  [ -z "$wide" ] || fail "$program(1) wider than 80 columns: $wide"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" FILES ENVIRONMENT EXAMPLES "SEE ALSO"; do
    grep -qx "$section" "$scratch/page.txt" || fail "$program(1) has no $section"
  done
  grep -A1 -x 'SEE ALSO' "$scratch/page.txt" | tail -1 | grep -q '([0-9])' ||
    fail "$program(1) refers to nothing under SEE ALSO"
done
[ -f "$root/usr/share/doc/morvane-gyro-tools/README.md" ] || fail "no README"

# The completion bash-completion loads for morvane-gyro-cli: the commands, and the ports the
# installed program lists.
completion="$root/usr/share/bash-completion/completions/morvane-gyro-cli"
bash -n "$completion" || fail "bash completion does not parse"
offered() { # words...: what the completion offers for the last word
  PATH="$root/usr/bin:$PATH" bash -c 'source "$1"; shift; COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    _morvane_gyro_cli morvane-gyro-cli "${COMP_WORDS[-1]}"; echo "${COMPREPLY[*]}"' - "$completion" "$@"
}
[ "$(offered morvane-gyro-cli r)" = read ] || fail "completion of 'r': $(offered morvane-gyro-cli r)"
[ "$(offered morvane-gyro-cli store COM1 --a)" = --agree ] || fail "completion of --a"
[ "$(offered morvane-gyro-cli set COM1 AvcsR)" = "AvcsRudderExponential= AvcsRudderSensitivity=" ] ||
  fail "completion of set's field AvcsR: $(offered morvane-gyro-cli set COM1 AvcsR)"
if [ -f /usr/share/bash-completion/bash_completion ]; then
  offered=$(PATH="$root/usr/bin:$PATH" bash -c 'source /usr/share/bash-completion/bash_completion
    source "$1"; COMP_WORDS=(morvane-gyro-cli r) COMP_CWORD=1 COMP_LINE="morvane-gyro-cli r"
    COMP_POINT=${#COMP_LINE}; _morvane_gyro_cli; echo "${COMPREPLY[*]}"' - "$completion")
  [ "$offered" = read ] || fail "bash-completion offers '$offered' for 'morvane-gyro-cli r'"
fi
