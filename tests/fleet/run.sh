#!/usr/bin/env bash
# The history's figures for Prometheus, checked against the real parts:
# - promtool's lint on the figures of the samples, of an empty root and of a
#   root of hostile profile and model names;
# - node_exporter on loopback with only its textfile collector, and Prometheus
#   on loopback scraping it every second, each started here in a temporary
#   folder and stopped however the run ends; two machines' files written with
#   --output; every series checked against the history's JSON report, per root
#   and summed; the README's PromQL lines each run;
# - the files rewritten many times while node_exporter is scraped: no scrape
#   may see a half-written file.
# Installs what it lacks (lib.sh's need).
#   tests/fleet/run.sh [HISTORY_PROGRAM [MAKE_SESSIONS]]
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
source scripts/lib.sh

history=$(realpath "${1:-build/rudeze_duziruzuderi-history}")
make_sessions=$(realpath "${2:-build/qv_make_sessions}")
prefix=rudeze_duziruzuderi_

need "command -v prometheus && command -v promtool" prometheus \
  "command -v prometheus-node-exporter" prometheus-node-exporter \
  "command -v curl" curl "command -v python3" python3 || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/qv_fleet_XXXXXX")
pids=()
stop_all() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 1' INT TERM

failed=0
fail() {
  echo "fleet: FAILED: $*" >&2
  failed=1
}

# 1. promtool lints what the program writes, whatever the names hold.
"$make_sessions" "$work/laptop" --sessions 30 --seed 21 --days 10 >/dev/null &&
  "$make_sessions" "$work/desk" --sessions 30 --seed 22 --days 10 >/dev/null || exit 1
mkdir -p "$work/empty" "$work/hostile/s1" "$work/hostile/s2" "$work/textfile"
printf '%s\n' '{"profile":"say \"hi\" \\ back","model":"line\nbreak \u00e9 ☃ été","cwd":"/x"}' \
  >"$work/hostile/s1/meta.json"
printf '%s\n' '{"profile":"","model":"{a=\"b\"} 1 # not a sample","cwd":"/y"}' >"$work/hostile/s2/meta.json"
for s in s1 s2; do
  printf '%s\n' '{"ts":"2026-12-01 10:00:00","event":"agent_run_start"}' \
    '{"ts":"2026-12-01 10:30:00","event":"agent_idle"}' >"$work/hostile/$s/events.jsonl"
done
for root in examples/sessions "$work/empty" "$work/hostile" "laptop=$work/laptop"; do
  "$history" --root "$root" --format prometheus >"$work/lint.prom" || fail "no figures for $root"
  if out=$(promtool check metrics <"$work/lint.prom" 2>&1); then
    echo "ok   promtool check metrics: ${root#*=} (${out:-no problems})"
  else
    fail "promtool check metrics on $root: $out"
  fi
done

# 2. node_exporter's textfile collector and Prometheus on loopback.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
exporter_port=$(free_port)
prometheus_port=$(free_port)
write_files() {
  "$history" --root "laptop=$work/laptop" --format prometheus -o "$work/textfile/laptop.prom" &&
    "$history" --root "desk=$work/desk" --format prometheus -o "$work/textfile/desk.prom"
}
write_files || exit 1
prometheus-node-exporter --web.listen-address="127.0.0.1:$exporter_port" \
  --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$work/textfile" >"$work/exporter.log" 2>&1 &
pids+=($!)
cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: agents
    static_configs:
      - targets: ["127.0.0.1:$exporter_port"]
EOF
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)
api=http://127.0.0.1:$prometheus_port

# query PROMQL: the value of the first sample of the answer, "none" for an
# empty one; fails when Prometheus does not answer with success.
query() {
  curl -sf --get --data-urlencode "query=$1" "$api/api/v1/query" | python3 -c '
import json, sys
answer = json.load(sys.stdin)
if answer.get("status") != "success": sys.exit(1)
result = answer["data"]["result"]
if answer["data"]["resultType"] == "scalar": print(result[1])
else: print(result[0]["value"][1] if result else "none")'
}
# wait_for WHAT SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
  local what=$1 seconds=$2
  shift 2
  local until=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    if [ $SECONDS -ge $until ]; then
      echo "fleet: $what not there after ${seconds} s" >&2
      tail -n 20 "$work/prometheus.log" "$work/exporter.log" >&2
      return 1
    fi
    sleep 0.2
  done
}
series_there() { [ "$(query "count(${prefix}info)")" = 2 ]; }
wait_for "Prometheus's /-/ready" 60 curl -sf "$api/-/ready" || exit 1
# Ready is not the same as scraped: the first answers can be empty.
wait_for "the two machines' series" 60 series_there || exit 1

# 3. Every series against the JSON report, per machine and over both.
json_total() {
  python3 -c 'import json, sys; print(json.load(sys.stdin)["total"][sys.argv[1]])' "$2" <"$1"
}
"$history" --root "$work/laptop" --format json >"$work/laptop.json" &&
  "$history" --root "$work/desk" --format json >"$work/desk.json" &&
  "$history" --root "laptop=$work/laptop" --root "desk=$work/desk" --format json >"$work/both.json" ||
  exit 1
printf '%-60s %14s %14s\n' "series checked" "history json" "prometheus"
check() {
  local promql=$1 json=$2 figure=$3 want got
  want=$(json_total "$json" "$figure")
  got=$(query "$promql")
  printf '%-60s %14s %14s\n' "$promql" "$want" "$got"
  [ "$got" = "$want" ] || fail "$promql is $got, the JSON report says $want"
}
figures="active_seconds:active_sec idle_seconds:idle_sec wall_seconds:wall_sec turns:turns
  tool_calls:tool_calls sessions:sessions"
tokens="input:input_tokens output:output_tokens cache_read:cache_read_tokens
  cache_write:cache_creation_tokens"
for machine in laptop desk ""; do
  json=$work/${machine:-both}.json
  selector=${machine:+root=\"$machine\"}
  for pair in $figures; do
    check "sum(${prefix}${pair%%:*}{$selector})" "$json" "${pair#*:}"
  done
  for pair in $tokens; do
    check "sum(${prefix}tokens{${selector:+$selector,}kind=\"${pair%%:*}\"})" "$json" "${pair#*:}"
  done
done

# 4. The README's PromQL, each line run.
readme_queries=$(awk '/^```promql$/ { inside = 1; next } /^```$/ { inside = 0 } inside' README.md)
[ -n "$readme_queries" ] || fail "the README has no promql block"
while IFS= read -r promql; do
  [ -n "$promql" ] || continue
  if value=$(query "$promql") && [ "$value" != none ]; then
    echo "ok   README: $promql = $value"
  else
    fail "README's PromQL gives no answer: $promql"
  fi
done <<<"$readme_queries"

# 5. Rewritten while scraped: a scraper asks node_exporter over and over
# while the files are written again and again; no scrape may find a file it
# cannot read.
(
  while [ ! -e "$work/rewritten" ]; do
    if metrics=$(curl -sf "http://127.0.0.1:$exporter_port/metrics"); then
      grep -qx 'node_textfile_scrape_error 0' <<<"$metrics" && echo ok || echo error
    fi
  done >"$work/scrapes"
) &
scraper=$!
for round in $(seq 40); do
  write_files || fail "rewriting the files failed in round $round"
done
touch "$work/rewritten"
wait "$scraper"
scrapes=$(wc -l <"$work/scrapes")
errors=$(grep -c error "$work/scrapes")
[ "$scrapes" -gt 0 ] || fail "no scrape while the files were rewritten"
sleep 2  # Prometheus's own scrapes of the same minute
worst=$(query 'max_over_time(node_textfile_scrape_error[1m])')
counted=$(query 'count_over_time(node_textfile_scrape_error[1m])')
echo "40 rewrites while scraped: $scrapes scrapes of node_exporter, $errors with an error;" \
  "Prometheus's scrapes in the last minute: $counted, worst node_textfile_scrape_error: $worst"
[ "$errors" = 0 ] || fail "$errors scrapes saw a file node_exporter could not read"
[ "$worst" = 0 ] || fail "Prometheus saw node_textfile_scrape_error $worst"
ls "$work/textfile" | grep -qv '\.prom$' && fail "a temporary file stayed in the textfile folder"

exit $failed
