#!/usr/bin/env bash
# Runs the browser tests of the dashboard: installs what is missing (chromium
# and lighttpd from Debian; Debian's nodejs and npm only when node or npm is
# missing; puppeteer-core from npm), then runs every tests/browser/*.test.mjs,
# or the test files named as arguments. The program comes from $QV_PROGRAM
# (default build/rudeze_duziruzuderi); it must be built already.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib.sh

need_browser_tools

program=${QV_PROGRAM:-build/rudeze_duziruzuderi}
if [ ! -x "$program" ]; then
  echo "No program at $program; build it first (cmake --preset release && cmake --build --preset release)." >&2
  exit 1
fi

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
  node --test "$@"
else
  node --test tests/browser/*.test.mjs
fi
