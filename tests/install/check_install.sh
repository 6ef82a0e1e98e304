#!/usr/bin/env bash
# check_install.sh BUILD_DIR [SANITIZER]: installs the build into a temporary prefix as a Linux
# program (bin/, share/), checks what a desktop and a package need with their own validators and
# the hardening of the program, and starts the installed program from an unrelated folder with an
# empty home.
set -uo pipefail
build=$1
if [[ -n ${2:-} ]]; then echo "install: skipped in the $2 sanitizer build (the normal build checks it)"; exit 0; fi
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr share=$tmp/usr/share status=0
fail() { echo "FAIL: $*"; status=1; }
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

# Everything lands in the places a Linux desktop looks, and nothing elsewhere (no lib/sentivo).
for f in bin/sentivo share/sentivo/sentivo.jpg share/sentivo/help/index.html share/applications/sentivo.desktop \
         share/metainfo/net.corvane.Sentivo.metainfo.xml share/man/man1/sentivo.1.gz lib/systemd/user/sentivo.service lib/systemd/user/sentivo@.service \
         share/doc/sentivo/copyright share/doc/sentivo/changelog.gz; do
  [[ -s $prefix/$f ]] || fail "$f is not installed"
done
stray=$(find "$prefix" -type f | grep -vE "^$prefix/(bin/sentivo$|lib/systemd/user/sentivo@?.service$|share/(sentivo|applications|metainfo|man/man1|icons/hicolor|doc/sentivo)/)")
[[ -z $stray ]] || fail "installed outside the usual places: $stray"
for size in 16 32 48 64 128 256; do
  file -b "$share/icons/hicolor/${size}x$size/apps/sentivo.png" | grep -q "^PNG image data, $size x $size," ||
    fail "no ${size}x$size PNG icon"
done

# The validators a distribution runs; the desktop one only prints its complaints.
out=$(desktop-file-validate "$share/applications/sentivo.desktop" 2>&1)
[[ -z $out ]] || fail "desktop entry: $out"
out=$(appstreamcli validate --no-net "$share/metainfo/net.corvane.Sentivo.metainfo.xml" 2>&1) || fail "metainfo: $out"
out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$share/man/man1/sentivo.1.gz" 2>&1 >/dev/null)
[[ -z $out ]] || fail "man page: $out"
# The unit starts the program of this prefix, and what a restart cannot cure ends it for good.
unit=$prefix/lib/systemd/user/sentivo.service
grep -qx "ExecStart=$prefix/bin/sentivo --arm" "$unit" || fail "the unit does not start $prefix/bin/sentivo --arm: $(grep ExecStart "$unit")"
grep -qx "RestartPreventExitStatus=1 2 4" "$unit" || fail "the unit restarts after exit 1, 2 or 4"
# One copy per room: the template gives each its room, its camera and folders of its own.
rooms=$prefix/lib/systemd/user/sentivo@.service
grep -qx "ExecStart=$prefix/bin/sentivo --arm --room %i --camera \${SENTIVO_CAMERA}" "$rooms" ||
  fail "the room template does not start $prefix/bin/sentivo for its room: $(grep ExecStart "$rooms")"
grep -q "^Environment=XDG_CONFIG_HOME=%h/.config/sentivo/%i XDG_DATA_HOME=%h/.local/share/sentivo/%i" "$rooms" ||
  fail "the room template shares its folders with other rooms"
if command -v systemd-analyze >/dev/null; then   # it checks that ExecStart runs
  out=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "unit: $out"
  mkdir -p "$tmp/units" && cp "$rooms" "$tmp/units/sentivo@hall.service"
  out=$(systemd-analyze verify --man=no "$tmp/units/sentivo@hall.service" 2>&1) || fail "room unit: $out"
fi

# Started from elsewhere, with a home of its own, the installed program answers; the metadata and
# the manual name the version it reports.
mkdir -p "$tmp/home" "$tmp/elsewhere"
version=$(cd "$tmp/elsewhere" && env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/config" \
          XDG_DATA_HOME="$tmp/home/data" "$prefix/bin/sentivo" --version) || fail "sentivo --version failed"
[[ $version =~ ^sentivo\ ([0-9.]+)$ ]] || fail "sentivo --version printed: $version"
v=${BASH_REMATCH[1]:-none}
grep -q "<release version=\"$v\"" "$share/metainfo/net.corvane.Sentivo.metainfo.xml" || fail "the metainfo has no release $v"
zgrep -q "^\.TH SENTIVO 1 .*\"Sentivo $v\"" "$share/man/man1/sentivo.1.gz" || fail "the manual is not of version $v"
zgrep -q "^sentivo ($v) " "$share/doc/sentivo/changelog.gz" || fail "the changelog does not start with version $v"
# What the program looks up beside bin/ (FindResource): the cascade is the detector's file, the
# test picture a JPEG. Whether a run uses them is checked with a run of the installed program later.
grep -q "<opencv_storage>" "$prefix/bin/../share/sentivo/cascade1.xml" || fail "share/sentivo/cascade1.xml is no cascade"
file -b "$prefix/bin/../share/sentivo/sentivo.jpg" | grep -q "^JPEG" || fail "share/sentivo/sentivo.jpg is no JPEG"
# Built with the distribution's hardening: position-independent, relocations read-only and bound at
# start, the stack protector and the fortified C library calls linked in.
bin=$prefix/bin/sentivo
[[ $(file -b "$bin") == *"pie executable"* ]] || fail "bin/sentivo is no position-independent executable"
[[ $(readelf -lW "$bin") == *GNU_RELRO* ]] || fail "bin/sentivo has no read-only relocations (relro)"
[[ $(readelf -dW "$bin") =~ BIND_NOW|FLAGS_1.*\ NOW ]] || fail "bin/sentivo binds late (no -z now)"
symbols=$(readelf -W --dyn-syms "$bin")
[[ $symbols == *__stack_chk_fail@* ]] || fail "bin/sentivo has no stack protector"
[[ $symbols =~ __[a-z]+_chk@ ]] || fail "bin/sentivo calls no fortified functions"
[[ $status == 0 ]] && echo "install: the installed program and its files are where Linux looks for them"
exit $status
