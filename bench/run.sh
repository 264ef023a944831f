#!/usr/bin/env bash
# Measures the tool against the limits and the alternatives, side by side in one run:
# start-up against /bin/true, dumps from 4 KB to 8 GiB (sparse) with the same list, 1 to 1 000 000
# module records against cat and a bare mapped walk, and a read-modify-write script.
#
#   bench/run.sh [--smoke] [BUILD_DIR]
#
# Needs hyperfine, python3 and /usr/bin/time (GNU time); gnuplot for the plots. Inputs go
# to a scratch folder on /dev/shm (tmpfs) when there is one, so that the flush at the end
# of each update measures the tool rather than the disk. Results: BUILD_DIR/bench-results/
# (results.md, the hyperfine JSON files and the plots).
set -euo pipefail
cd "$(dirname "$0")/.."
smoke=0
if [ "${1:-}" = "--smoke" ]; then
  smoke=1
  shift
fi
build="$(cd "${1:-build}" && pwd)"
tool="$build/corvinade"
make_input="$build/bench/bench_make_input"
bare_walk="$build/bench/bench_bare_walk"
out="$build/bench-results"
scratch_root=/dev/shm
[ -d "$scratch_root" ] && [ -w "$scratch_root" ] || scratch_root="$build"
work="$(mktemp -d "$scratch_root/corvinade-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
for program in hyperfine python3 /usr/bin/time; do
  command -v "$program" >/dev/null || { echo "bench/run.sh needs $program" >&2; exit 1; }
done

if [ "$smoke" = 1 ]; then
  runs=3 warmup=1 counts=(1 1000) sizes=(4096 $((1 << 20)))
else
  runs=200 warmup=20 counts=(1 1000 100000 1000000)
  sizes=(4096 $((1 << 20)) $((1 << 30)) $((8 << 30)))
fi
big_size="${sizes[-1]}"
stamp=0x5AB38077 size=0x9000 checksum=0x1D0C5
"$make_input" exe "$work/app.exe"

# hyperfine over the given commands; the JSON goes to $out/$1.json.
measure() {
  local name="$1" runs_here="$2"
  shift 2
  hyperfine -N -i --style basic --warmup "$warmup" --runs "$runs_here" \
    --export-json "$out/$name.json" "$@" >/dev/null
}
# Mean minor page faults and peak resident memory (kB) of a command over a few runs.
faults_and_memory() {
  local total_faults=0 peak=0 n=5
  for _ in $(seq $n); do
    read -r faults memory < <(/usr/bin/time -f "%R %M" "$@" 2>&1 >/dev/null | tail -1)
    total_faults=$((total_faults + faults))
    [ "$memory" -gt "$peak" ] && peak=$memory
  done
  echo "$((total_faults / n)) $peak"
}

echo "== Start-up: a 4-record dump against /bin/true"
"$make_input" dump "$work/small.dmp" 4
measure startup "$runs" /bin/true "$tool $work/small.dmp $work/app.exe"

echo "== Dump size: ${sizes[*]} bytes, the same 4 records, each file extended sparse"
size_commands=()
for bytes in "${sizes[@]}"; do
  "$make_input" dump "$work/size-$bytes.dmp" 4 "$bytes"
  size_commands+=("$tool $work/size-$bytes.dmp $work/app.exe")
done
measure size "$runs" "${size_commands[@]}"
read -r faults_4k memory_4k < <(faults_and_memory "$tool" "$work/size-4096.dmp" "$work/app.exe")
read -r faults_big memory_big < <(faults_and_memory "$tool" "$work/size-$big_size.dmp" \
  "$work/app.exe")
rm -f "$work"/size-*.dmp

echo "== Module count: ${counts[*]}"
for count in "${counts[@]}"; do
  "$make_input" dump "$work/n$count.dmp" "$count"
  count_runs=$runs
  [ "$count" -ge 100000 ] && count_runs=$((runs / 2 > 3 ? runs / 2 : 3))
  measure "count-$count" "$count_runs" "cat $work/n$count.dmp" \
    "$bare_walk $work/n$count.dmp $stamp $size $checksum" "$tool $work/n$count.dmp $work/app.exe"
done

largest="${counts[-1]}"
echo "== Read-modify-write script against the tool, $largest records"
measure rmw $((runs / 20 > 3 ? runs / 20 : 3)) \
  "python3 bench/read_modify_write.py $work/n$largest.dmp $work/app.exe" \
  "$tool $work/n$largest.dmp $work/app.exe"
read -r _ memory_rmw < <(faults_and_memory python3 bench/read_modify_write.py \
  "$work/n$largest.dmp" "$work/app.exe")
read -r _ memory_tool < <(faults_and_memory "$tool" "$work/n$largest.dmp" "$work/app.exe")

if [ -x "$build/bench/bench_walk" ]; then
  echo "== In-process walk (Google Benchmark)"
  min_time=1
  [ "$smoke" = 1 ] && min_time=0.01
  "$build/bench/bench_walk" --benchmark_min_time="$min_time" \
    --benchmark_out="$out/walk.json" --benchmark_out_format=json >/dev/null
fi

python3 bench/report.py "$out" "$(IFS=,; echo "${sizes[*]}")" "$faults_4k" "$faults_big" \
  "$memory_4k" "$memory_big" "$memory_rmw" "$memory_tool" "${counts[@]}" | tee "$out/results.md"
if command -v gnuplot >/dev/null; then
  gnuplot -e "data='$out/counts.dat'; sizes='$out/sizes.dat'; output='$out/benchmarks.png'" \
    bench/plot.gp
  echo "Plot: $out/benchmarks.png"
fi
