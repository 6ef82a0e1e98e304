#!/usr/bin/env bash
# Installs what is missing, builds Sentivo and starts it from its build folder, where the face
# cascade and the test picture lie beside it. Without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build/normal
cd build/normal/app
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting Sentivo under Xvfb."
  exec xvfb-run -a ./sentivo "$@"
fi
exec ./sentivo "$@"
