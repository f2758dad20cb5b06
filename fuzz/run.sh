#!/usr/bin/env bash
# Builds the fuzz preset and runs every target for a fixed time on a copy of its
# seed corpus. Exits non-zero when a target finds a crash or a broken property;
# the input that did it is kept under build-fuzz/fuzz/findings/.
#   QV_FUZZ_SECONDS  seconds per target (default 60)
#   QV_FUZZ_TARGETS  targets to run (default all)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

# libFuzzer and the sanitizer runtimes come with clang's runtime package.
need_fuzz_tools || exit 1

seconds=${QV_FUZZ_SECONDS:-60}
targets=${QV_FUZZ_TARGETS:-"query_fuzz json_lookup_fuzz timestamp_fuzz replay_fuzz request_fuzz"}

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/qv_fuzz_run_XXXXXX")
trap 'rm -rf "$work"' EXIT
findings=$PWD/build-fuzz/fuzz/findings
mkdir -p "$findings"

status=0
for target in $targets; do
  corpus=$work/$target
  mkdir -p "$corpus"
  cp fuzz/corpus/"$target"/* "$corpus"/
  max_len=4096
  [ "$target" = request_fuzz ] && max_len=16384
  echo "== $target: ${seconds} s"
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    build-fuzz/fuzz/"$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
      "$corpus" >"$work/$target.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$work/$target.log" | tr '\n' ' '
    echo
  else
    status=1
    echo "== $target FAILED"
    tail -n 60 "$work/$target.log"
  fi
done
exit $status
