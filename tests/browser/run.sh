#!/usr/bin/env bash
# Runs the browser tests of the dashboard once per browser: installs what is
# missing (chromium, firefox-esr and lighttpd from Debian; Debian's nodejs and
# npm only when node or npm is missing; puppeteer-core from npm), then runs
# every tests/browser/*.test.mjs, or the test files named as arguments, in each
# browser of $QV_BROWSERS (default "chromium firefox"), and prints the counts
# per browser. The program comes from $QV_PROGRAM (default
# build/rudeze_duziruzuderi), the history program from $QV_HISTORY_PROGRAM
# (default build/rudeze_duziruzuderi-history); both must be built already.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib.sh

read -r -a browsers <<<"${QV_BROWSERS:-chromium firefox}"
need_browser_tools "${browsers[@]}"

program=${QV_PROGRAM:-build/rudeze_duziruzuderi}
export QV_HISTORY_PROGRAM=${QV_HISTORY_PROGRAM:-build/rudeze_duziruzuderi-history}
for built in "$program" "$QV_HISTORY_PROGRAM"; do
  if [ ! -x "$built" ]; then
    echo "No program at $built; build it first (cmake --preset release && cmake --build --preset release)." >&2
    exit 1
  fi
done

# npm ci only when node_modules does not hold the pinned versions. puppeteer-core
# never downloads a browser; the variable keeps any other package from trying.
if ! node -e '
  const want = require("./package.json").devDependencies;
  for (const [name, version] of Object.entries(want)) {
    let got = null;
    try { got = require(`./node_modules/${name}/package.json`).version; } catch (e) {}
    if (got !== version) process.exit(1);
  }' 2>/dev/null; then
  PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi

# The files themselves: node 21 and later read a folder argument as a pattern.
if [ $# -gt 0 ]; then
  files=("$@")
else
  files=(tests/browser/*.test.mjs)
fi

log=$(mktemp "${TMPDIR:-/tmp}/qv_browser_XXXXXX")
trap 'rm -f "$log"' EXIT
status=0
summary=()
for browser in "${browsers[@]}"; do
  echo "== browser tests in $browser"
  code=0
  QV_BROWSER=$browser node --test "${files[@]}" 2>&1 | tee "$log" || code=$?
  # node's closing counts: "# pass N" (TAP) or "ℹ pass N" (the reporter used on a terminal).
  pass=$(sed -n 's/^\(# \|ℹ \)pass \([0-9]*\)$/\2/p' "$log" | tail -n 1)
  fail=$(sed -n 's/^\(# \|ℹ \)fail \([0-9]*\)$/\2/p' "$log" | tail -n 1)
  summary+=("$browser: ${pass:-?} tests passed, ${fail:-?} failed")
  if [ $code -ne 0 ] || [ -z "$pass" ]; then status=1; fi
done
echo "== browser tests per browser"
for line in "${summary[@]}"; do echo "   $line"; done
exit $status
