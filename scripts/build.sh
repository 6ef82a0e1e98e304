#!/usr/bin/env bash
# build.sh DIR [SANITIZER]: configures and builds Sentivo in DIR (SANITIZER: address or thread).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
sanitize=${2:-}
launcher=""
if command -v ccache >/dev/null; then
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  export CCACHE_BASEDIR=$PWD   # paths inside the checkout hash alike in every clone
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSENTIVO_SANITIZE="$sanitize" $launcher >/dev/null
cmake --build "$dir" -j"$(nproc)"
