#!/usr/bin/env bash
# wine-run.sh PROGRAM [ARGS...]: runs a Windows program under Debian's wine64
# (installed off the PATH, in /usr/lib/wine) in the Wine prefix
# $ZOL_WINEPREFIX (default build/wine of the checkout), which the first run
# creates. The emulator of the cross-windows-x64 preset.
set -euo pipefail
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || { echo "wine-run.sh: $wine missing: apt-get install wine64" >&2; exit 127; }
export WINEPREFIX=${ZOL_WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/wine}
# The test programs take the toolchain's C++ runtime as DLLs, as on Linux,
# so that the allocations the tests interpose are the code's own, not
# libstdc++'s.
export WINEPATH=/usr/lib/gcc/x86_64-w64-mingw32/12-posix\;/usr/x86_64-w64-mingw32/lib
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Two first runs at once would both build the prefix: the first one takes a lock.
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [[ -f $WINEPREFIX/system.reg ]] || "$wine" wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver64 -w || true
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
