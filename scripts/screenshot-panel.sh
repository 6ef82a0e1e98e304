#!/usr/bin/env bash
# Starts the real program on a virtual display with valid example settings and writes a picture of
# its control panel to docs/screenshots/panel.png. Needs a built program (scripts/build.sh
# build/normal) and ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/config/Corvane"
cat > "$work/config/Corvane/Sentivo.conf" <<'CONF'
[General]
EMAIL_ADDRESS=alarm@example.net
TO_EMAIL_ADDRESS=owner@example.org
SMTP_SERVER=smtp.example.net
CONF
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
(cd "$work" && DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
  "$root/build/normal/app/sentivo" >/dev/null 2>&1) &
app=$!
window=$(DISPLAY=$display timeout 30 xdotool search --sync --name '^Sentivo V[0-9.]*$' | head -n 1)
sleep 2.5   # the splash goes after 1.5 s
DISPLAY=$display import -window "$window" "$root/docs/screenshots/panel.png"
echo "wrote docs/screenshots/panel.png"
