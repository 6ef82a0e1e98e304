#!/usr/bin/env bash
# check_package.sh BUILD_DIR [SANITIZER]: builds the .deb as `cmake --build BUILD_DIR --target package`
# does (the same CPack configuration, into a folder of its own), unpacks it and checks that its
# systemd unit starts a program the package contains; then lintian, where it is installed, must
# report no error.
set -uo pipefail
build=$1
if [[ -n ${2:-} ]]; then echo "package: skipped in the $2 sanitizer build (the normal build checks it)"; exit 0; fi
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
out=$(cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" 2>&1) || { echo "FAIL: cpack: $out"; exit 1; }
debs=("$tmp"/out/sentivo_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || { echo "FAIL: cpack made no single sentivo_*.deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}
dpkg-deb -x "$deb" "$tmp/root" || { echo "FAIL: dpkg-deb -x $deb"; exit 1; }

unit=$tmp/root/usr/lib/systemd/user/sentivo.service
program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit" 2>/dev/null)
[[ -n $program ]] || fail "the package has no unit with an ExecStart"
[[ $program == /* && -f $tmp/root$program && -x $tmp/root$program ]] ||
  fail "the unit starts $program, which the package does not contain: $(cd "$tmp/root" && find . -path '*bin/*')"

if command -v lintian >/dev/null; then
  # As root lintian says so on standard error; its findings go to standard output.
  errors=$(lintian --no-tag-display-limit "$deb" 2>/dev/null | grep '^E:')
  [[ -z $errors ]] || fail "lintian: $errors"
else
  echo "package: lintian is not installed; scripts/install-deps.sh brings it"
fi
[[ $status == 0 ]] && echo "package: the .deb's unit starts the program it installs${errors+, lintian reports no error}"
exit $status
