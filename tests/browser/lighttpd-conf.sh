#!/usr/bin/env bash
# Prints a lighttpd configuration that serves the dashboard on loopback and runs
# the program as CGI on both routes the page calls: /rudeze_duziruzuderi and the
# host's plugin route /plugins; "/" shows the page itself. Static files in
# DOCROOT (such as a page that frames the dashboard) are served as they are.
#   QV_SESSIONS_DIR=ROOT [BOT_PASSWORD=PW] lighttpd-conf.sh PROGRAM PORT DOCROOT
# lighttpd reads the sessions root and the node password from its own
# environment (env.NAME), so start it with the same two variables exported:
# that way no quoting can alter them.
set -euo pipefail
if [ $# -ne 3 ] || [ -z "${QV_SESSIONS_DIR:-}" ]; then
  echo "usage: QV_SESSIONS_DIR=ROOT [BOT_PASSWORD=PW] $0 PROGRAM PORT DOCROOT" >&2
  exit 2
fi
program=$1 port=$2 docroot=$3

# lighttpd strings are double-quoted; \" is their only escape.
quote() {
  printf '"%s"' "${1//\"/\\\"}"
}

env_items='"QV_SESSIONS_DIR" => env.QV_SESSIONS_DIR'
if [ -n "${BOT_PASSWORD:-}" ]; then
  env_items+=', "BOT_PASSWORD" => env.BOT_PASSWORD'
fi

cat <<CONF
server.modules = ("mod_alias", "mod_rewrite", "mod_setenv", "mod_cgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = $(quote "$docroot")
# Session ids may hold encoded control bytes; the program copes with them.
server.http-parseopts = ("url-ctrls-reject" => "disable")
mimetype.assign = (".html" => "text/html; charset=utf-8", ".png" => "image/png")
url.rewrite-once = ("^/(\\?.*)?\$" => "/rudeze_duziruzuderi\$1")
alias.url = ("/rudeze_duziruzuderi" => $(quote "$program"), "/plugins" => $(quote "$program"))
# Matches the program's file name, whichever route reached it.
cgi.assign = ($(quote "/$(basename "$program")") => "")
setenv.add-environment = ($env_items)
CONF
