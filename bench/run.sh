#!/usr/bin/env bash
# The benchmark in one command: installs what is missing, builds the floor relay,
# the load client and quendra.exe, then runs quendra.exe under Wine and the three
# references through the same phases and writes bench/results/results.md with the
# plots. Takes about 10 minutes. Options go to run.py (--quick: a short trial run;
# --relays floor,python: a subset). QUENDRA_EXE=path uses an already built program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bench/install.sh
scripts/install-deps.sh
make -s -C bench OUT="$root/bench/results/raw/bin" all wine-probe

build=$root/build/bench-x86_64
if [ -z "${QUENDRA_EXE:-}" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DQUENDRA_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target quendra >/dev/null
  QUENDRA_EXE=$build/app/quendra.exe
fi

# 1,000 connections and more need descriptors: for the relays, the client and Wine.
ulimit -n "$(ulimit -Hn)"

. scripts/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$build/wineprefix"

/usr/bin/python3 bench/run.py --quendra "$QUENDRA_EXE" "$@"
