#!/usr/bin/env bash
# build.sh DIR [SANITIZER]: configures and builds Sentivo in DIR (SANITIZER: address or thread).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
sanitize=${2:-}
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSENTIVO_SANITIZE="$sanitize" $launcher >/dev/null
cmake --build "$dir" -j"$(nproc)"
