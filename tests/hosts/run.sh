#!/usr/bin/env bash
# Serves the program behind real hosts on loopback — lighttpd, Apache 2.4 with
# mod_cgid, nginx with fcgiwrap, busybox httpd — and sends each one a fixed
# list of requests. Every reply must match the direct run of the same request
# (the program started with the CGI variables that request implies): the same
# body byte for byte, the same status, the same content type, and every header
# line the program wrote. 40 concurrent summaries per host must all complete
# and match as well. Prints a table of request by host and fails when any cell
# fails. Installs what it lacks (lib.sh's need_host_tools).
#   tests/hosts/run.sh [PROGRAM]        (default build/rudeze_duziruzuderi)
#   QV_HOSTS="apache nginx" tests/hosts/run.sh   only those hosts
# The sessions come from build/qv_make_sessions (QV_MAKE_SESSIONS overrides).
# Started as root, the servers serve (and run the program) as nobody. Every
# file they write is in one temporary folder, and every server this script
# started is stopped when it ends, however it ends.
set -uo pipefail
# Lengths are counted in bytes, and names are compared byte for byte.
export LC_ALL=C
cd "$(dirname "$0")/../.." || exit 1
source scripts/lib.sh

need_host_tools || exit 1
program=$(realpath -e -- "${1:-build/rudeze_duziruzuderi}") || exit 1
generator=${QV_MAKE_SESSIONS:-build/qv_make_sessions}
if [ ! -x "$generator" ]; then
  echo "No sessions generator at $generator; build it first (the release preset)." >&2
  exit 1
fi
read -ra hosts <<<"${QV_HOSTS:-lighttpd apache nginx busybox}"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv_hosts_XXXXXX") || exit 1
groups=() # the process groups of the servers this script started
cleanup() {
  stop_all
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- Servers: each one the leader of its own process group ----

# Whether process $1 or a process of group $1 is still running (zombies
# aside). Right after `start` the process may not have made its group yet.
group_alive() {
  local stat line state pgrp
  for stat in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$stat" || continue
    read -r state _ pgrp _ <<<"${line##*) }"
    if [ "$state" != Z ] && { [ "$pgrp" = "$1" ] || [ "$stat" = "/proc/$1/stat" ]; }; then
      return 0
    fi
  done
  return 1
}

# Ends group $1 (a server and every process it started), by force after 10 s.
stop_group() {
  local i kept=()
  kill -TERM -- "-$1" 2>/dev/null || kill -TERM "$1" 2>/dev/null
  for ((i = 0; i < 100; i++)); do
    group_alive "$1" || break
    sleep 0.1
  done
  if group_alive "$1"; then kill -KILL -- "-$1" 2>/dev/null || kill -KILL "$1" 2>/dev/null; fi
  wait "$1" 2>/dev/null
  for i in "${groups[@]}"; do [ "$i" = "$1" ] || kept+=("$i"); done
  groups=("${kept[@]}")
}

stop_all() {
  while [ ${#groups[@]} -gt 0 ]; do stop_group "${groups[-1]}"; done
}

# start LOG COMMAND...: runs COMMAND in a new session (so a new process group,
# whose id is its pid) and sets $started to that id.
start() {
  local log=$1
  shift
  setsid "$@" </dev/null >>"$log" 2>&1 &
  started=$!
  groups+=("$started")
}

# A loopback port nothing listens on now (a server may take it before ours
# does: `serve` then tries another).
free_port() {
  local port try
  for ((try = 0; try < 100; try++)); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# Waits until port $2 answers HTTP while group $1 runs; fails when the group
# has ended (its server could not bind, say) or after 15 s.
wait_ready() {
  local i
  for ((i = 0; i < 150; i++)); do
    group_alive "$1" || return 1
    if curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$2/"; then
      group_alive "$1"
      return
    fi
    sleep 0.1
  done
  return 1
}

# Run as root, the servers drop to nobody: Apache refuses to run CGI programs
# as root, and the others should not either.
if [ "$(id -u)" = 0 ]; then
  server_user=nobody
  server_group=$(id -gn nobody) || exit 1
  as_server_user=(setpriv --reuid=nobody --regid="$server_group" --clear-groups --)
else
  server_user=$(id -un)
  as_server_user=()
fi

# server_env PASSWORD: the environment a server starts with (for `env -i`): a
# PATH, the sessions root and, when one is configured, the node password.
server_env() {
  env_vars=(PATH=/usr/sbin:/usr/bin:/sbin:/bin "QV_SESSIONS_DIR=$root")
  if [ -n "$1" ]; then env_vars+=("BOT_PASSWORD=$1"); fi
}

# launch_HOST DIR PORT PASSWORD: writes HOST's configuration into DIR, starts
# it on PORT, sets $started to the group that answers HTTP and $route to the
# program's path on it.
launch_lighttpd() {
  local dir=$1 port=$2
  server_env "$3"
  mkdir -p "$dir/www"
  env -i "${env_vars[@]}" tests/browser/lighttpd-conf.sh "$cgi" "$port" "$dir/www" \
    >"$dir/lighttpd.conf" || return 1
  start "$dir/server.log" env -i "${env_vars[@]}" lighttpd -D -f "$dir/lighttpd.conf"
  route=/rudeze_duziruzuderi
}

launch_apache() {
  local dir=$1 port=$2
  server_env "$3"
  env -i "${env_vars[@]}" tests/browser/apache-conf.sh "$cgi" "$port" "$dir" \
    >"$dir/apache.conf" || return 1
  start "$dir/server.log" env -i "${env_vars[@]}" apache2 -d "$dir" -f "$dir/apache.conf" \
    -DFOREGROUND
  route=/rudeze_duziruzuderi
}

# fcgiwrap hands the program its own environment too, so it starts without the
# sessions root and the password: only nginx's parameters carry them. It runs
# as the user of nginx's workers, who must be able to connect to its socket.
launch_nginx() {
  local dir=$1 port=$2 i
  server_env "$3"
  mkdir -p "$dir/fcgiwrap"
  chown "$server_user" "$dir/fcgiwrap"
  local socket=$dir/fcgiwrap/socket
  env -i "${env_vars[@]}" tests/browser/nginx-conf.sh "$cgi" "$port" "$dir" "$socket" \
    >"$dir/nginx.conf" || return 1
  start "$dir/fcgiwrap.log" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "${as_server_user[@]}" \
    fcgiwrap -c 8 -s "unix:$socket"
  for ((i = 0; i < 100; i++)); do
    [ -S "$socket" ] && break
    sleep 0.1
  done
  [ -S "$socket" ] || return 1
  start "$dir/server.log" env -i "${env_vars[@]}" nginx -e "$dir/error.log" -p "$dir" \
    -c "$dir/nginx.conf"
  route=/rudeze_duziruzuderi
}

# busybox runs CGI programs only from DOCROOT/cgi-bin and has no alias, so the
# program is served at /cgi-bin/rudeze_duziruzuderi, where the page cannot find
# its data; the replies are compared all the same. busybox hands the program
# its own environment. Its configuration only lets loopback in.
launch_busybox() {
  local dir=$1 port=$2 user=()
  server_env "$3"
  mkdir -p "$dir/www/cgi-bin"
  cp "$cgi" "$dir/www/cgi-bin/rudeze_duziruzuderi"
  chmod -R a+rX "$dir/www"
  printf 'A:127.0.0.1\nD:*\n' >"$dir/httpd.conf"
  if [ "$(id -u)" = 0 ]; then user=(-u "$server_user:$server_group"); fi
  start "$dir/server.log" env -i "${env_vars[@]}" busybox httpd -f -p "127.0.0.1:$port" \
    "${user[@]}" -h "$dir/www" -c "$dir/httpd.conf"
  route=/cgi-bin/rudeze_duziruzuderi
}

# serve HOST PASSWORD: starts HOST on a free port, trying another port when it
# does not come up, and sets $base to the program's URL on it.
serve() {
  local host=$1 try port dir
  for ((try = 1; try <= 3; try++)); do
    port=$(free_port) || return 1
    dir=$tmp/$host-$port
    mkdir -p "$dir"
    if "launch_$host" "$dir" "$port" "$2" && wait_ready "$started" "$port"; then
      base=http://127.0.0.1:$port$route
      return 0
    fi
    echo "$host did not start on port $port (try $try):" >&2
    tail -n 20 "$dir"/*.log 2>/dev/null | sed 's/^/  /' >&2
    stop_all
  done
  return 1
}

# ---- Replies ----

# Percent-encodes every byte but the unreserved ones.
url_encode() {
  local hex char out=
  for hex in $(printf '%s' "$1" | od -An -v -tx1); do
    case $hex in
      3[0-9] | 4[1-9a-f] | 5[0-9a] | 6[1-9a-f] | 7[0-9a] | 2d | 2e | 5f | 7e)
        printf -v char '%b' "\\x$hex"
        out+=$char
        ;;
      *) out+=%${hex^^} ;;
    esac
  done
  printf '%s' "$out"
}

# normalize_headers: header lines on stdin, without CR, as "name:value" with
# the name in lower case (HTTP names are case-insensitive); the status line and
# a "Status:" line are left out.
normalize_headers() {
  local line name value
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in "" | HTTP/*) continue ;; esac
    name=${line%%:*}
    value=${line#*:}
    value=${value# }
    [ "${name,,}" = status ] && continue
    printf '%s:%s\n' "${name,,}" "$value"
  done
}

# split_direct PREFIX: splits the program's reply PREFIX.reply into
# PREFIX.body and PREFIX.headers and writes PREFIX.meta: the status (200 when
# the program gave none) and the content type. Fails on a reply without a
# header block.
split_direct() {
  local prefix=$1 line bytes=0 status=200 type='' name
  while IFS= read -r line; do
    bytes=$((bytes + ${#line} + 1))
    if [ "$line" = $'\r' ]; then
      tail -c +$((bytes + 1)) "$prefix.reply" >"$prefix.body"
      normalize_headers <"$prefix.head" >"$prefix.headers"
      printf '%s\n%s\n' "$status" "$type" >"$prefix.meta"
      return 0
    fi
    printf '%s\n' "$line" >>"$prefix.head"
    line=${line%$'\r'}
    name=${line%%:*}
    case ${name,,} in
      status)
        status=${line#*: }
        status=${status%% *}
        ;;
      content-type) type=${line#*: } ;;
    esac
  done <"$prefix.reply"
  return 1
}

# direct INDEX: the program run with the CGI variables request INDEX implies,
# into $tmp/direct/INDEX.*.
direct() {
  local i=$1 vars prefix=$tmp/direct/$1
  vars=(GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET SERVER_PROTOCOL=HTTP/1.1
    "QUERY_STRING=${query[i]}" "QV_SESSIONS_DIR=$root")
  if [ "${guarded[i]}" = 1 ]; then vars+=("BOT_PASSWORD=$password"); fi
  if [ -n "${header[i]}" ]; then
    local name=${header[i]%%:*}
    name=${name^^}
    vars+=("HTTP_${name//-/_}=${header[i]#*: }")
  fi
  : >"$prefix.head"
  env -i "${vars[@]}" "$cgi" >"$prefix.reply" 2>"$prefix.err" </dev/null
}

# fetch INDEX PREFIX: request INDEX through the host at $base into PREFIX.*.
fetch() {
  local i=$1 prefix=$2 args url=$base
  args=(-sS --max-time 60 -o "$prefix.body" -D "$prefix.head"
    -w '%{http_code}\n%{content_type}\n')
  if [ -n "${header[i]}" ]; then args+=(-H "${header[i]}"); fi
  if [ -n "${query[i]}" ]; then url+="?${query[i]}"; fi
  : >"$prefix.body"
  : >"$prefix.head"
  curl "${args[@]}" "$url" >"$prefix.meta" 2>"$prefix.err"
}

# same DIRECT HOST: whether the host's reply (HOST.*) is the direct one
# (DIRECT.*); otherwise prints what differs.
same() {
  local direct=$1 got=$2 want_status want_type got_status got_type line
  { read -r want_status && read -r want_type; } <"$direct.meta"
  { read -r got_status && read -r got_type; } <"$got.meta" 2>/dev/null
  if [ -s "$got.err" ]; then
    echo "curl: $(head -c 200 "$got.err")"
    return 1
  fi
  if [ "$got_status" != "$want_status" ]; then
    echo "status $got_status, not $want_status"
    return 1
  fi
  if [ "$got_type" != "$want_type" ]; then
    echo "content type '$got_type', not '$want_type'"
    return 1
  fi
  if ! cmp -s "$direct.body" "$got.body"; then
    echo "body differs: $(cmp "$direct.body" "$got.body" 2>&1 | head -n 1)" \
      "($(wc -c <"$got.body") bytes, not $(wc -c <"$direct.body"))"
    return 1
  fi
  normalize_headers <"$got.head" >"$got.headers"
  while IFS= read -r line; do
    if ! grep -qxF -- "$line" "$got.headers"; then
      echo "header '$line' missing"
      return 1
    fi
  done <"$direct.headers"
}

# ---- The sessions root ----

root=$tmp/sessions
if ! "$generator" "$root" --sessions 12 --seed 7 >/dev/null; then
  echo "The sessions generator failed." >&2
  exit 1
fi
# A folder with a UTF-8 name, and one whose meta.json id is not its name.
utf8_dir=café-セッション
cp -R "$root/sess-0004" "$root/$utf8_dir"
sed -i "s/\"id\":\"sess-0004\"/\"id\":\"$utf8_dir\"/" "$root/$utf8_dir/meta.json"
cp -R "$root/sess-0005" "$root/folder-name"
sed -i 's/"id":"sess-0005"/"id":"id-from-meta"/' "$root/folder-name/meta.json"
grep -q '"id":"id-from-meta"' "$root/folder-name/meta.json" || exit 1
mkdir "$tmp/bin" "$tmp/direct"
cgi=$tmp/bin/rudeze_duziruzuderi
cp "$program" "$cgi"
chmod 755 "$tmp" "$tmp/bin" "$cgi"
chmod -R a+rX "$root"
if [ ${#as_server_user[@]} -gt 0 ] &&
  ! "${as_server_user[@]}" test -x "$cgi" -a -r "$root/sess-0000/events.jsonl"; then
  echo "nobody cannot reach $tmp; set TMPDIR to a folder everyone may enter." >&2
  exit 1
fi

# ---- The requests ----

# A password that needs quoting in every configuration and encoding in a query.
# shellcheck disable=SC2016 # "$HOME" is part of it, not expanded
password='pa$HOME "q" \z+&=%;'\''x'
names=() query=() header=() guarded=() want_status=() want_text=()
# request NAME GUARDED STATUS TEXT QUERY [HEADER]: the direct run must answer
# STATUS with TEXT in its body, so that a host matching it shows something.
request() {
  names+=("$1") guarded+=("$2") want_status+=("$3") want_text+=("$4") query+=("$5")
  header+=("${6:-}")
}
count='"count":14,'
request "page" 0 200 "<!DOCTYPE html>" ""
request "page with a sid" 0 200 "||'sess-0003'" "sid=sess-0003"
request "summary" 0 200 "$count" "action=summary"
request "session by folder name" 0 200 '"dir":"sess-0001"' "action=session&sid=sess-0001"
request "session by meta.json id" 0 200 '"dir":"folder-name"' "action=session&sid=id-from-meta"
request "session by UTF-8 name" 0 200 "\"dir\":\"$utf8_dir\"" \
  "action=session&sid=$(url_encode "$utf8_dir")"
request "session: missing sid" 0 200 '"error":"missing sid parameter"' "action=session"
request "session: unknown sid" 0 200 '"error":"session not found"' \
  "action=session&sid=no-such-session"
request "refusal (no password)" 1 401 '"error":"invalid node password"' "action=summary"
request "X-Bot-Password header" 1 200 "$count" "action=summary" "X-Bot-Password: $password"
request "Authorization: Bearer" 1 200 "$count" "action=summary" "Authorization: Bearer $password"
request "?pwd=" 1 200 "$count" "action=summary&pwd=$(url_encode "$password")"
# A query without "=": some hosts pass its words as arguments too.
request "?--meta" 0 200 "<!DOCTYPE html>" "--meta"
request "?--meta+x" 0 200 "<!DOCTYPE html>" "--meta+x"
request "?--meta, password set" 1 401 '"error":"invalid node password"' "--meta"
concurrent_row="40 concurrent summaries"
summary_index=2

declare -A cell
direct_failed=()
for i in "${!names[@]}"; do
  reason=
  if ! direct "$i"; then
    reason="the direct run failed"
  elif [ -s "$tmp/direct/$i.err" ]; then
    reason="the direct run wrote on standard error: $(head -c 200 "$tmp/direct/$i.err")"
  elif ! split_direct "$tmp/direct/$i"; then
    reason="the direct run wrote no header block"
  else
    read -r status <"$tmp/direct/$i.meta"
    if [ "$status" != "${want_status[i]}" ]; then
      reason="the direct run answered $status, not ${want_status[i]}"
    elif ! grep -qF -- "${want_text[i]}" "$tmp/direct/$i.body"; then
      reason="the direct run's body lacks ${want_text[i]}"
    fi
  fi
  if [ -n "$reason" ]; then direct_failed[i]=$reason; fi
done

failures=()
# check HOST INDEX: one request through the running host.
check() {
  local host=$1 i=$2 prefix=$tmp/$1-reply-$2 why
  if [ -n "${direct_failed[i]:-}" ]; then
    cell[$host,$i]=FAIL
    failures+=("$host, ${names[i]}: ${direct_failed[i]}")
    return
  fi
  fetch "$i" "$prefix"
  if why=$(same "$tmp/direct/$i" "$prefix"); then
    cell[$host,$i]=pass
  else
    cell[$host,$i]=FAIL
    failures+=("$host, ${names[i]}: $why")
  fi
}

# check_concurrent HOST: 40 summaries at once, each compared with the direct one.
check_concurrent() {
  local host=$1 n pids=() bad=0 why first=
  for n in $(seq 1 40); do
    fetch "$summary_index" "$tmp/$host-concurrent-$n" &
    pids+=($!)
  done
  for n in "${pids[@]}"; do wait "$n"; done
  for n in $(seq 1 40); do
    if ! why=$(same "$tmp/direct/$summary_index" "$tmp/$host-concurrent-$n"); then
      bad=$((bad + 1))
      first=${first:-$why}
    fi
  done
  if [ -n "${direct_failed[summary_index]:-}" ]; then
    bad=40 first=${direct_failed[summary_index]}
  fi
  if [ "$bad" = 0 ]; then
    cell[$host,concurrent]=pass
  else
    cell[$host,concurrent]=FAIL
    failures+=("$host, $concurrent_row: $bad of 40 differ, the first: $first")
  fi
}

echo "Servers run as $server_user; sessions root $root"
for host in "${hosts[@]}"; do
  if ! declare -F "launch_$host" >/dev/null; then
    echo "Unknown host $host (known: lighttpd apache nginx busybox)." >&2
    exit 1
  fi
  for password_set in 0 1; do
    if [ "$password_set" = 1 ]; then serve "$host" "$password"; else serve "$host" ""; fi
    up=$?
    for i in "${!names[@]}"; do
      [ "${guarded[i]}" = "$password_set" ] || continue
      if [ $up = 0 ]; then
        check "$host" "$i"
      else
        cell[$host,$i]=FAIL
        failures+=("$host, ${names[i]}: the host did not start")
      fi
    done
    if [ "$password_set" = 0 ]; then
      if [ $up = 0 ]; then
        echo "$host serves the program at $route"
        check_concurrent "$host"
      else
        cell[$host,concurrent]=FAIL
        failures+=("$host, $concurrent_row: the host did not start")
      fi
    fi
    stop_all
  done
done

# ---- The table ----
echo
printf '%-28s' "request"
for host in "${hosts[@]}"; do printf ' %-9s' "$host"; done
echo
rows=("${!names[@]}" concurrent)
for i in "${rows[@]}"; do
  if [ "$i" = concurrent ]; then label=$concurrent_row; else label=${names[i]}; fi
  printf '%-28s' "$label"
  for host in "${hosts[@]}"; do printf ' %-9s' "${cell[$host,$i]:-FAIL}"; done
  echo
done
echo
if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}"
  exit 1
fi
echo "Every reply through every host matches the direct run."
