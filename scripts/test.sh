#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs the whole test suite with
# ctest under Wine on a virtual display. Extra arguments go to ctest (say, -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
. scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$PWD/build/x86_64/wineprefix"
ctest --test-dir build/x86_64 --output-on-failure "$@"
