#!/usr/bin/env bash
# Builds both Windows targets: build/i686 (the 32-bit program) and build/x86_64.
set -euo pipefail
cd "$(dirname "$0")/.."
for target in i686 x86_64; do
  cmake -S . -B "build/$target" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$target-w64-mingw32.cmake" >/dev/null
  cmake --build "build/$target" -j"$(nproc)"
done
