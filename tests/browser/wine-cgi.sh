#!/usr/bin/env bash
# Writes a CGI wrapper that runs the Windows program under Wine, and prints its
# path. A host passes a CGI program only the CGI variables and what its own
# configuration adds, so the wrapper carries Wine's settings (taken from this
# environment: WINEPREFIX, HOME, PATH) itself. Its name is the program's name
# without ".exe", which is what lighttpd-conf.sh matches.
#   wine-cgi.sh PROGRAM.exe DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 PROGRAM.exe DIR" >&2
  exit 2
fi
exe=$(realpath "$1") dir=$2
mkdir -p "$dir"
wrapper="$(realpath "$dir")/$(basename "$exe" .exe)"
quote() {
  printf "'%s'" "${1//\'/\'\\\'\'}"
}
{
  echo '#!/bin/sh'
  echo '# Runs the Windows program under Wine with a UTF-8 locale, as a CGI program.'
  echo "export WINEPREFIX=$(quote "${WINEPREFIX:-$HOME/.wine-qv}") HOME=$(quote "$HOME")" \
    "PATH=$(quote "$PATH") LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='"
  echo "exec wine $(quote "$exe") \"\$@\""
} >"$wrapper"
chmod +x "$wrapper"
echo "$wrapper"
