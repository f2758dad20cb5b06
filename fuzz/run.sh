#!/usr/bin/env bash
# Builds the fuzz preset and runs the targets. Exits non-zero when a target
# finds a crash or a broken property; the input that did it is kept under
# build-fuzz/fuzz/findings/.
#   fuzz/run.sh                 every target for QV_FUZZ_SECONDS on a copy of its
#                               committed corpus (the short run of the tests)
#   fuzz/run.sh --long SECONDS  the long campaign: every target in turn for
#                               SECONDS, going on after findings, from a working
#                               corpus under build-fuzz/fuzz/corpus/ that grows
#                               from run to run; new coverage is then merged,
#                               minimized, back into fuzz/corpus/<target>/
#   QV_FUZZ_SECONDS  seconds per target of the short run (default 60)
#   QV_FUZZ_TARGETS  targets to run (default all)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

long=0
seconds=${QV_FUZZ_SECONDS:-60}
if [ "${1:-}" = --long ]; then
  long=1
  seconds=${2:-}
  case $seconds in '' | *[!0-9]*)
    echo "usage: fuzz/run.sh [--long SECONDS]" >&2
    exit 2
    ;;
  esac
elif [ $# -gt 0 ]; then
  echo "usage: fuzz/run.sh [--long SECONDS]" >&2
  exit 2
fi

# libFuzzer and the sanitizer runtimes come with clang's runtime package.
need_fuzz_tools || exit 1

targets=${QV_FUZZ_TARGETS:-"query_fuzz json_lookup_fuzz timestamp_fuzz replay_fuzz request_fuzz history_fuzz
  line_pieces_fuzz"}

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz || exit 1

# Without coverage of the program's own code the fuzzers mutate blindly: make
# sure the build instrumented it, not only the harnesses. A function without
# comparisons shows only its counters (__sancov), one with them also calls.
instrumented() {
  objdump -d -C --no-show-raw-insn build-fuzz/fuzz/"${2:-request_fuzz}" |
    awk -v name="$1" '/^[0-9a-f]+ <.*>:$/ { inside = index($0, "<" name "(") > 0 }
      inside && /__sanitizer_cov|__sancov/ { found = 1 } END { exit !found }'
}
for function in replay_line line_reader_next json_get_str_n parse_event_time get_query_val \
  print_summary_json handle_request; do
  if ! instrumented "$function"; then
    echo "== $function carries no coverage instrumentation" >&2
    exit 1
  fi
done
for function in attribution_finish bucket_at row_for_number; do
  if ! instrumented "$function" history_fuzz; then
    echo "== $function carries no coverage instrumentation" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qv_fuzz_run_XXXXXX")
trap 'rm -rf "$work"' EXIT
findings=$PWD/build-fuzz/fuzz/findings
mkdir -p "$findings"

options() {
  local max_len=4096
  [ "$1" = request_fuzz ] && max_len=16384
  # Logs over several of the line reader's blocks.
  [ "$1" = line_pieces_fuzz ] && max_len=24576
  echo -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -dict=fuzz/"$1".dict -artifact_prefix="$findings/$1-"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1

short_run() {
  local target=$1 corpus=$work/$1
  mkdir -p "$corpus"
  cp fuzz/corpus/"$target"/* "$corpus"/
  echo "== $target: ${seconds} s"
  # shellcheck disable=SC2046
  if build-fuzz/fuzz/"$target" -max_total_time="$seconds" $(options "$target") \
    "$corpus" >"$work/$target.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done|DONE' "$work/$target.log" | tr '\n' ' '
    echo
    return 0
  fi
  echo "== $target FAILED"
  tail -n 60 "$work/$target.log"
  return 1
}

# One process per job keeps the campaign going after a finding; each finding
# is kept in the findings folder and counted as a failure at the end.
long_run() {
  local target=$1 corpus=$PWD/build-fuzz/fuzz/corpus/$1 log=$PWD/build-fuzz/fuzz/$1-long.log
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/
  local before
  before=$(find "$findings" -name "$target-*" | wc -l)
  echo "== $target: ${seconds} s, log in $log"
  # shellcheck disable=SC2046
  build-fuzz/fuzz/"$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" $(options "$target") "$corpus" >"$log" 2>&1
  grep -E '^#[0-9]+: cov:' "$log" | tail -n 1
  # The committed corpus becomes the smallest set of both that reaches every
  # edge seen. Hit counts are left out of the merge: they would keep hundreds
  # of near copies, while the working corpus keeps them for the next campaign.
  local merged=$work/$target-merged
  mkdir -p "$merged"
  # shellcheck disable=SC2046
  if build-fuzz/fuzz/"$target" -merge=1 -use_counters=0 -use_cmp=0 $(options "$target") \
    "$merged" fuzz/corpus/"$target" "$corpus" >"$work/$target-merge.log" 2>&1; then
    rm -f fuzz/corpus/"$target"/*
    cp "$merged"/* fuzz/corpus/"$target"/
    echo "   corpus: $(find fuzz/corpus/"$target" -type f | wc -l) inputs," \
      "$(du -sk fuzz/corpus/"$target" | cut -f1) KB"
  else
    echo "== $target: merge failed"
    tail -n 20 "$work/$target-merge.log"
    return 1
  fi
  local found
  found=$(($(find "$findings" -name "$target-*" | wc -l) - before))
  if [ "$found" -gt 0 ]; then
    echo "== $target: $found new findings in $findings"
    return 1
  fi
  return 0
}

status=0
for target in $targets; do
  if [ "$long" = 1 ]; then
    long_run "$target" || status=1
  else
    short_run "$target" || status=1
  fi
done
exit $status
