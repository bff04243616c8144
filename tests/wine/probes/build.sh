#!/usr/bin/env bash
# Builds the probes as static x86-64 console programs into OUT_DIR
# (default: build/probes under the worktree). One compiler at a time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
out=${1:-$top/build/probes}
mkdir -p "$out"
cxx=x86_64-w64-mingw32-g++-posix
flags=(-std=c++17 -O2 -Wall -Wextra -Werror -municode -DUNICODE -D_UNICODE -I"$top")
objects=()
for source in core/text core/registry core/registry_upcase core/key_takeover \
              stores/win32/ntdll stores/win32/privileges stores/win32/key_security stores/win32/links \
              stores/win32/win32_registry tests/wine/probes/probe_keysec; do
  "$cxx" "${flags[@]}" -c "$top/$source.cpp" -o "$out/$(basename "$source").o"
  objects+=("$out/$(basename "$source").o")
done
for probe in probe_key_security probe_link_keys; do
  "$cxx" "${flags[@]}" -static "$here/$probe.cpp" "${objects[@]}" -o "$out/$probe.exe" -ladvapi32
done
"$cxx" "${flags[@]}" -static "$here/probe_edit_timing.cpp" -o "$out/probe_edit_timing.exe" -luser32 -lgdi32
echo "$out"
