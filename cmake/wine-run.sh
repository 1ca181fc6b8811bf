#!/bin/sh
# Runs a cross-built Windows program under Wine with a prefix of its own in
# the build folder (KX9_WINEPREFIX, set per test by CMake), so tests never
# touch a user's ~/.wine.
export WINEPREFIX="${KX9_WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko prompts: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
