#!/usr/bin/env bash
# 自动修复 of 201 entries of 50 values each under Wine, with its undo file
# written and flushed and without it (bench/undo_bench.cpp). Builds a win64
# Release tree of its own (build/bench-undo), runs in a Wine environment of its
# own and prints the RESULT lines. Not a test.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=$root/build/bench-undo
cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DVORNEX_WINE_TESTS=OFF -DVORNEX_BENCH=ON >/dev/null
cmake --build "$tree" --target vornex_undo_bench -- -j2 >/dev/null
# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
rm -rf "$tree/wine"
wine_env_start "$tree/wine" 96
wine "$tree/bench/vornex_undo_bench.exe" 'C:\undo-bench' 2>/dev/null
