#!/usr/bin/env bash
# scripts/make-samples writes into new, empty or its own folders and refuses any
# other folder without changing it. Uses the generator named by QV_MAKE_SESSIONS
# (default build/qv_make_sessions).
set -uo pipefail
cd "$(dirname "$0")/../.."
export QV_MAKE_SESSIONS=${QV_MAKE_SESSIONS:-$PWD/build/qv_make_sessions}
work=$(mktemp -d "${TMPDIR:-/tmp}/qv_make_samples_test_XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
checks=0

check() {
  checks=$((checks + 1))
  if ! eval "$2"; then
    echo "FAILED: $1 ($2)"
    failures=$((failures + 1))
  fi
}
sessions_in() { find "$1" -mindepth 1 -maxdepth 1 -type d -name 'sess-*' | wc -l; }
run() { scripts/make-samples "$@" >"$work/out.log" 2>&1; }

run "$work/new"
check "a new folder gets the samples" '[ "$(sessions_in "$work/new")" = 12 ] && [ -f "$work/new/.qv-samples" ]'
echo changed >"$work/new/sess-0003/events.jsonl"
run "$work/new"
check "its own samples are written again" \
  '[ "$(sessions_in "$work/new")" = 12 ] && ! grep -q changed "$work/new/sess-0003/events.jsonl"'

mkdir "$work/empty"
run "$work/empty"
check "an empty folder gets the samples" '[ "$(sessions_in "$work/empty")" = 12 ]'

mkdir -p "$work/user/real-session"
echo keep >"$work/user/real-session/meta.json"
check "a folder of other sessions is refused" '! run "$work/user"'
check "and left as it was" \
  '[ "$(cat "$work/user/real-session/meta.json")" = keep ] && [ "$(ls -A "$work/user")" = real-session ]'
check "the refusal says why" 'grep -q "did not write" "$work/out.log"'

mkdir "$work/new/mine"
check "samples with something added are refused" '! run "$work/new"'
check "and the addition is kept" '[ -d "$work/new/mine" ] && [ "$(sessions_in "$work/new")" = 12 ]'
rmdir "$work/new/mine"

mkdir -p "$work/outside/victim"
printf '%s\n' .. ../outside/victim / >>"$work/new/.qv-samples"
run "$work/new"
check "names in the marker never reach outside the folder" '[ -d "$work/outside/victim" ]'

echo text >"$work/file"
check "a file in place of the folder is refused" '! run "$work/file"'
check "and kept" '[ "$(cat "$work/file")" = text ]'

if [ "$failures" -ne 0 ]; then
  echo "make-samples: $failures of $checks checks failed"
  exit 1
fi
echo "make-samples: all $checks checks passed"
