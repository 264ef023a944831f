#!/usr/bin/env bash
# Builds corvinade, then runs it on a temporary copy of example/crash.dmp with
# example/app.exe, showing app.exe's module record before and after. The files in
# example/ are never changed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-example"
cmake -S "$root" -B "$build" -DCORVINADE_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target corvinade >/dev/null
tool="$build/corvinade"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/example/crash.dmp" "$root/example/app.exe" "$work/"

# A little-endian 32-bit value at a file offset, in hex.
u32() {
  local b
  b=($(od -An -v -t x1 -j "$2" -N 4 "$1"))
  printf '0x%s%s%s%s' "${b[3]}" "${b[2]}" "${b[1]}" "${b[0]}"
}
record=64  # app.exe's module record (MINIDUMP_MODULE) in example/crash.dmp
nt=128     # app.exe's NT headers (e_lfanew)
show_record() {
  printf '  crash.dmp, module C:\\app\\app.exe: TimeDateStamp %s  SizeOfImage %s  CheckSum %s\n' \
    "$(u32 "$work/crash.dmp" $((record + 16)))" "$(u32 "$work/crash.dmp" $((record + 8)))" \
    "$(u32 "$work/crash.dmp" $((record + 12)))"
}

printf 'The executable:\n'
printf '  app.exe:                          TimeDateStamp %s  SizeOfImage %s  CheckSum %s\n' \
  "$(u32 "$work/app.exe" $((nt + 8)))" "$(u32 "$work/app.exe" $((nt + 80)))" \
  "$(u32 "$work/app.exe" $((nt + 88)))"
printf 'The dump before:\n'
show_record
printf '\n$ corvinade crash.dmp app.exe   (in %s)\n' "$work"
status=0
(cd "$work" && "$tool" crash.dmp app.exe) || status=$?
printf '\n(exit status %s)\n\nThe dump after:\n' "$status"
show_record
exit "$status"
