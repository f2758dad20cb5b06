#!/usr/bin/env bash
# Prints an nginx configuration that serves the program on loopback at
# /rudeze_duziruzuderi, the route the page calls back (a request there without
# action or format gets the page itself), through fcgiwrap listening on the
# Unix socket SOCKET. Every file nginx writes (pid, error log, its temporary
# folders) goes into DIR.
#   QV_SESSIONS_DIR=ROOT [BOT_PASSWORD=PW] nginx-conf.sh PROGRAM PORT DIR SOCKET
#   fcgiwrap -s unix:SOCKET &  nginx -e DIR/error.log -p DIR -c CONF
# nginx cannot read its environment into a FastCGI parameter, so the sessions
# root and the password are written into the configuration, quoted. nginx
# passes every request header on as HTTP_*, Authorization included. Started as
# root, the workers run as nobody, so fcgiwrap must let nobody connect (run it
# as nobody too); otherwise everything runs as the user who starts it.
set -euo pipefail
if [ $# -ne 4 ] || [ -z "${QV_SESSIONS_DIR:-}" ]; then
  echo "usage: QV_SESSIONS_DIR=ROOT [BOT_PASSWORD=PW] $0 PROGRAM PORT DIR SOCKET" >&2
  exit 2
fi
program=$1 port=$2 dir=$3 socket=$4

# nginx strings are double-quoted with \\ and \" as escapes.
quote() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}
# Values of fastcgi_param and fastcgi_pass expand variables and have no escape
# for "$": each one is written as ${qv_dollar}, a variable that holds "$".
quote_value() {
  local text=${1//\\/\\\\}
  text=${text//\"/\\\"}
  printf '"%s"' "${text//\$/\$\{qv_dollar\}}"
}

echo "daemon off;"
echo "pid $(quote "$dir/nginx.pid");"
echo "error_log $(quote "$dir/error.log");"
if [ "$(id -u)" = 0 ]; then echo "user nobody $(id -gn nobody);"; fi
cat <<CONF
events {}
http {
  access_log off;
  client_body_temp_path $(quote "$dir/client_body");
  fastcgi_temp_path $(quote "$dir/fastcgi");
  proxy_temp_path $(quote "$dir/proxy");
  scgi_temp_path $(quote "$dir/scgi");
  uwsgi_temp_path $(quote "$dir/uwsgi");
  geo \$qv_dollar { default "\$"; }
  server {
    listen 127.0.0.1:$port;
    location = /rudeze_duziruzuderi {
      fastcgi_pass $(quote_value "unix:$socket");
      fastcgi_param SCRIPT_FILENAME $(quote_value "$program");
      fastcgi_param GATEWAY_INTERFACE CGI/1.1;
      fastcgi_param SERVER_PROTOCOL \$server_protocol;
      fastcgi_param REQUEST_METHOD \$request_method;
      fastcgi_param QUERY_STRING \$query_string;
      fastcgi_param SCRIPT_NAME \$uri;
      fastcgi_param REQUEST_URI \$request_uri;
      fastcgi_param REMOTE_ADDR \$remote_addr;
      fastcgi_param SERVER_NAME \$server_name;
      fastcgi_param SERVER_PORT \$server_port;
      fastcgi_param QV_SESSIONS_DIR $(quote_value "$QV_SESSIONS_DIR");
CONF
if [ -n "${BOT_PASSWORD:-}" ]; then
  echo "      fastcgi_param BOT_PASSWORD $(quote_value "$BOT_PASSWORD");"
fi
cat <<CONF
    }
    location / {
      return 404;
    }
  }
}
CONF
