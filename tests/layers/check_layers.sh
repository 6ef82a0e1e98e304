#!/usr/bin/env bash
# Every dependency points down: app -> ui -> engine, mqtt, mail, journal, settings -> log; res/ holds
# data only. Checks the includes of every source file and the libraries the lower layers link. Links
# between the middle layers: settings/ judges the server text by mail/'s rule (SmtpUrl), journal/
# finds its file through settings/, and engine/ takes a run's settings (settings/RunSettings.h)
# through settings/ headers that use no Qt at all; mqtt/ delivers from mail/'s outbox.
# Usage: check_layers.sh SOURCE_DIR QT_INCLUDE_DIR
set -u
src=$1 qt=$2 status=0
fail() { echo "$1"; status=1; }

# A settings header and the settings headers it includes, followed down, include no Qt.
qtFreeSettingsHeader() {
  local header=$1 line
  while IFS= read -r line; do
    case $line in
      *'<Q'*) return 1 ;;
      *'"settings/'*) qtFreeSettingsHeader "$(sed -E 's/.*"(settings\/[^"]+)".*/\1/' <<<"$line")" || return 1 ;;
    esac
  done < <(grep -E '^\s*#\s*include' "$src/$header")
}

# allowed project folders per layer, and whether Qt Widgets/Gui (or any Qt) may be included
declare -A may=([app]="app ui engine mqtt mail journal settings log" [ui]="ui engine mqtt mail journal settings log"
                [engine]="engine settings log" [mqtt]="mqtt mail settings log" [mail]="mail log"
                [journal]="journal settings mail log" [settings]="settings mail log" [log]="log")
declare -A qtAllowed=([app]=gui [ui]=gui [engine]=none [mqtt]=core [mail]=none [journal]=core [settings]=core
                      [log]=none)

for layer in "${!may[@]}"; do
  while IFS= read -r line; do
    file=${line%%:*} target=$(sed -E 's/.*#include ["<]([^">]+)[">].*/\1/' <<<"$line")
    top=${target%%/*}
    if [[ $line == *'"'* ]]; then
      [[ " ${may[$layer]} " == *" $top "* ]] || fail "$file includes $target: $layer may not reach $top"
      [[ $layer != engine || $top != settings ]] || qtFreeSettingsHeader "$target" \
        || fail "$file includes $target, which brings Qt into engine/"
    elif [[ $target == Q* && ${qtAllowed[$layer]} != gui ]]; then
      if [[ ${qtAllowed[$layer]} == none ]]; then fail "$file includes Qt header $target"
      elif [[ -e $qt/QtGui/$target || -e $qt/QtWidgets/$target ]]; then fail "$file includes Qt Gui/Widgets header $target"; fi
    fi
  done < <(grep -rHE '^\s*#\s*include' "$src/$layer" --include='*.cpp' --include='*.h')
  if [[ ${qtAllowed[$layer]} != gui ]] && grep -qE 'Qt6::(Widgets|Gui)' "$src/$layer/CMakeLists.txt"; then
    fail "$layer/CMakeLists.txt links Qt Widgets or Gui"
  fi
done
code=$(find "$src/res" -name '*.cpp' -o -name '*.h' | head -n 1)
[[ -z $code ]] || fail "res/ holds code: $code"
[[ $status == 0 ]] && echo "layers: every include points down"
exit $status
