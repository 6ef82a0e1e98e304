#!/usr/bin/env bash
# Builds the dialog renderer and writes PNG pictures of the About box, the Options and
# Notifications dialogs, the countdown, the splash and the control panel's template to
# docs/screenshots/ (and of the Detection dialogs). Runs offscreen, so no display is needed.
# Optional argument: the build folder (default build/normal).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/normal}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target sentivo_render_dialogs -j"$(nproc)"
QT_QPA_PLATFORM=offscreen "$dir/tools/sentivo_render_dialogs" docs/screenshots
