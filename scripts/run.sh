#!/usr/bin/env bash
# Installs what is missing, builds Sentivo and starts it from its build folder, where the face
# cascade and the test picture lie beside it. `run.sh --arm ...` runs it armed without a window;
# otherwise, without a display, it shows that command line instead of starting the panel.
set -euo pipefail
# A relative --camera file is the caller's, not the build folder's.
args=()
while [ $# -gt 0 ]; do
  args+=("$1")
  if [ "$1" = --camera ] && [ $# -gt 1 ]; then
    shift
    case $1 in /*) ;; *) [ -e "$1" ] && set -- "$PWD/$1" "${@:2}" ;; esac
    args+=("$1")
  fi
  shift
done
set -- ${args[@]+"${args[@]}"}
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build/normal
cd build/normal/app
if [ "${1:-}" = --arm ]; then
  exec ./sentivo "$@"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the control panel cannot show. Surveillance with the stored settings runs without one:"
  echo "  bash scripts/run.sh --arm [--face | --motion] [--camera SOURCE]"
  exit 0
fi
exec ./sentivo "$@"
