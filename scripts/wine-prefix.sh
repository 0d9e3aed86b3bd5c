#!/usr/bin/env bash
# Boots a Wine prefix once as a template ($ZAREL_WINE_DIR/template) and copies it to the
# prefix the tests run in. Booting takes 13-15 s; a copy takes well under a second, so every
# later scenario copies the template instead of booting anew.
#   wine-prefix.sh            template (if missing) + fresh test prefix
#   wine-prefix.sh DEST       template (if missing) + a fresh copy at DEST
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
template=$ZAREL_WINE_DIR/template
dest=${1:-$ZAREL_WINE_DIR/prefix}

if [ ! -f "$template/.booted" ]; then
  rm -rf "$template"
  echo "wine-prefix: booting template $template" >&2
  WINEPREFIX=$template wineboot -i >/dev/null 2>&1
  WINEPREFIX=$template wineserver -w
  touch "$template/.booted"
fi

rm -rf "$dest"
cp -a "$template" "$dest"
rm -f "$dest/.booted"
# No X display in unit tests: Wine's null display driver still lets windows be created.
if [ -z "${DISPLAY:-}" ]; then
  WINEPREFIX=$dest wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
fi
