#!/usr/bin/env bash
# Configures and builds Halvren and its tests into build/ (cross compiled for 32-bit Windows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build" -j"$(nproc)" "$@"
