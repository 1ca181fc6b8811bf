#!/bin/sh
# Runs a cross-built Windows program under Wine with a prefix of its own in
# the build folder (KX9_WINEPREFIX, set per test by CMake), so tests never
# touch a user's ~/.wine.
export WINEPREFIX="${KX9_WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko prompts: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

# ctest starts several tests at once, and Wine processes that meet in a
# prefix that is still being made race each other over its wineserver
# directory: the loser dies with "chdir to /tmp/wine-...: No such file or
# directory". So the first test to come makes the prefix alone, under a lock,
# and waits for its wineserver to go; the others wait for the lock, then find
# it ready.
ready="$WINEPREFIX/.kx9-ready"
if [ ! -e "$ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -e "$ready" ]; then
      "$wine" wineboot.exe --init >/dev/null 2>&1
      /usr/lib/wine/wineserver -w
      [ -e "$WINEPREFIX/system.reg" ] && : >"$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
  if [ ! -e "$ready" ]; then
    echo "wine-run: could not make the Wine prefix $WINEPREFIX" >&2
    exit 1
  fi
fi
exec "$wine" "$@"
