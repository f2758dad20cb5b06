#!/usr/bin/env bash
# Prints an Apache 2.4 configuration that serves the program as CGI (mod_cgid)
# on loopback at /rudeze_duziruzuderi, the route the page calls back; a request
# there without action or format gets the page itself. Every file the server
# writes (pid, error log, the cgid socket, mutexes) goes into DIR.
#   QV_SESSIONS_DIR=ROOT [BOT_PASSWORD=PW] apache-conf.sh PROGRAM PORT DIR
#   apache2 -d DIR -f CONF -DFOREGROUND
# PassEnv hands the sessions root and the node password on from Apache's own
# environment, so start it with the same two variables exported: that way no
# quoting can alter them. Started as root, Apache serves and runs the program
# as nobody (it refuses to run CGI programs as root); otherwise as the user who
# starts it. APACHE_MODULES names the modules folder (Debian's by default).
set -euo pipefail
if [ $# -ne 3 ] || [ -z "${QV_SESSIONS_DIR:-}" ]; then
  echo "usage: QV_SESSIONS_DIR=ROOT [BOT_PASSWORD=PW] $0 PROGRAM PORT DIR" >&2
  exit 2
fi
program=$1 port=$2 dir=$3
modules=${APACHE_MODULES:-/usr/lib/apache2/modules}

# Apache strings are double-quoted; \" is their only escape.
quote() {
  printf '"%s"' "${1//\"/\\\"}"
}

pass_env=QV_SESSIONS_DIR
if [ -n "${BOT_PASSWORD:-}" ]; then pass_env+=" BOT_PASSWORD"; fi

cat <<CONF
ServerRoot $(quote "$dir")
DefaultRuntimeDir $(quote "$dir")
PidFile $(quote "$dir/apache2.pid")
ErrorLog $(quote "$dir/error.log")
ScriptSock $(quote "$dir/cgid.sock")
LoadModule mpm_event_module $(quote "$modules/mod_mpm_event.so")
LoadModule authz_core_module $(quote "$modules/mod_authz_core.so")
LoadModule alias_module $(quote "$modules/mod_alias.so")
LoadModule env_module $(quote "$modules/mod_env.so")
LoadModule cgid_module $(quote "$modules/mod_cgid.so")
CONF
if [ "$(id -u)" = 0 ]; then
  echo "User nobody"
  echo "Group $(id -gn nobody)"
fi
cat <<CONF
ServerName 127.0.0.1
Listen 127.0.0.1:$port
DocumentRoot $(quote "$dir")
<Directory "/">
  Require all denied
</Directory>
ScriptAlias "/rudeze_duziruzuderi" $(quote "$program")
<Location "/rudeze_duziruzuderi">
  Require all granted
  # Without it Apache keeps the Authorization header from CGI programs.
  CGIPassAuth On
</Location>
PassEnv $pass_env
CONF
