#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest. scripts/test.sh provides the
# display and the prefix; run alone, this falls back to a private Xvfb and the
# build's own prefix.
set -u
here=$(dirname "$(readlink -f "$0")")
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-emulator: WINEPREFIX is not set; run the tests through scripts/test.sh" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a /usr/lib/wine/wine64 "$@"
fi
exec /usr/lib/wine/wine64 "$@"
