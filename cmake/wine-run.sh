#!/bin/sh
# Runs a cross-built Windows program under Wine with a prefix of its own in
# the build folder (KX9_WINEPREFIX, set per test by CMake), so tests never
# touch a user's ~/.wine.
export WINEPREFIX="${KX9_WINEPREFIX:-$PWD/wineprefix}"
# Wine keeps its server's socket folder under TMPDIR and leaves it behind:
# beside the prefix it stays in the build folder, out of the machine's /tmp.
export TMPDIR="$WINEPREFIX.tmp"
mkdir -p "$TMPDIR"
export WINEDEBUG=-all
# No Mono or Gecko prompts: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine picks its code page and its font substitutes from the locale: one
# locale for every run keeps the prefix as it was made.
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
fonts="$(cd "$(dirname "$0")" && pwd)/wine-fonts.reg"

# ctest starts several tests at once, and Wine processes that meet in a
# prefix that is still being made race each other over its wineserver
# directory: the loser dies with "chdir to /tmp/wine-...: No such file or
# directory". So the first test to come makes the prefix alone, under a lock,
# and waits for its wineserver to go; the others wait for the lock, then find
# it ready. Making it includes pinning the dialog font (wine-fonts.reg), so
# that windows the tests open have the same layout on every machine.
ready="$WINEPREFIX/.kx9-ready-fonts"
if [ ! -e "$ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -e "$ready" ]; then
      "$wine" wineboot.exe --init >/dev/null 2>&1
      "$wine" reg.exe import "Z:$fonts" >/dev/null 2>&1
      pinned=$?
      /usr/lib/wine/wineserver -w
      [ $pinned -eq 0 ] && [ -e "$WINEPREFIX/system.reg" ] && : >"$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
  if [ ! -e "$ready" ]; then
    echo "wine-run: could not make the Wine prefix $WINEPREFIX" >&2
    exit 1
  fi
fi
# Wine does not search its own font folder, so the pinned Tahoma is linked
# into the prefix; on every run, so that a prefix made before the font
# package came gets it too.
for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
  link="$WINEPREFIX/drive_c/windows/Fonts/${f##*/}"
  [ -e "$f" ] && [ ! -e "$link" ] && ln -s "$f" "$link" 2>/dev/null
done
exec "$wine" "$@"
