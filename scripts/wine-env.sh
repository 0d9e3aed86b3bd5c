# Sourced by the scripts that run Windows programs: points Wine at the project's own prefixes
# (never the user's ~/.wine) and keeps Wine's menu builder from writing into the real $HOME.
ZAREL_ROOT=${ZAREL_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
ZAREL_WINE_DIR=${ZAREL_WINE_DIR:-$ZAREL_ROOT/build/wine}
export ZAREL_WINE_DIR
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export HOME=$ZAREL_WINE_DIR/home
export WINEPREFIX=${WINEPREFIX:-$ZAREL_WINE_DIR/prefix}
# Wine derives the ANSI code page from the locale; a UTF-8 English locale gives 1252.
export LC_ALL=C.UTF-8
mkdir -p "$HOME"
