#!/usr/bin/env bash
# Runs both fuzz targets of a "fuzz" build for a bounded time each, seeded from the test
# builders and from the shared test data, and fails on any finding.
#
#   fuzz/run.sh [SECONDS_EACH] [BUILD_DIR] [TESTDATA_DIR]
#
# Corpora grow in BUILD_DIR/fuzz/corpus-*; a crashing input is left in BUILD_DIR/fuzz/
# as crash-*, to be kept as a regression case in tests/fuzz_findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${2:-build-fuzz}"
testdata="${3:-../shared/testdata}"
work="$build/fuzz"
mkdir -p "$work/seeds" "$work/corpus-pe" "$work/corpus-dump"

if [ -d "$testdata" ]; then
  "$work/fuzz_make_seeds" "$work/seeds" "$testdata"
  pe_seeds=("$work/seeds/pe" "$testdata/pe")
else
  echo "No test data at $testdata: seeding from the builders only."
  "$work/fuzz_make_seeds" "$work/seeds"
  pe_seeds=("$work/seeds/pe")
fi

common=(-dict=fuzz/corvinade.dict -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096
        -print_final_stats=1 -artifact_prefix="$work/")
echo "== fuzz_pe_identity, $seconds s"
"$work/fuzz_pe_identity" "${common[@]}" "$work/corpus-pe" "${pe_seeds[@]}"
echo "== fuzz_dump_modules, $seconds s"
"$work/fuzz_dump_modules" "${common[@]}" -max_len=65536 "$work/corpus-dump" "$work/seeds/dump"
