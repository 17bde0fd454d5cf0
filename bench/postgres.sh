#!/usr/bin/env bash
# The targets of sites on a PostgreSQL server, run by bench/run after the site database's (or
# alone):
#
#   bench/postgres.sh [BUILD]    (default build-bench; BUILD/tool/ssmsg must be built)
#
# On the generated site of SSMSG_E2E_CONTROLLERS (default 1,000) controllers, on a server that
# pg_virtualenv starts for the run:
# - `ssmsg convert` of the site file into a new site on the server against the same into a new
#   site database, and `ssmsg settings` from the server against the same from the database (time
#   and peak memory, default jobs); each time the fastest of three runs, the contestants taking
#   turns;
# - two `ssmsg serve` of the site, with wrk as the load for SSMSG_SERVE_SECONDS (default 10)
#   seconds: GET of one controller with 8 connections over both (requests/s and the 99th
#   percentile), PATCH of one input's name through one, one change at a time (99th percentile),
#   and from each of 200 changes made through one to its event on a feed subscriber of the other
#   (bench/feed_latency.py);
# - 100 sites of 10 controllers in one database, served by one `ssmsg serve`: GET /api/sites and
#   GET of one site's controllers (each the fastest of three).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
if [[ -z ${SSMSG_BENCH_IN_CLUSTER:-} ]]; then
  if ! command -v pg_virtualenv >/dev/null; then
    echo "postgres: skipped: pg_virtualenv (postgresql-common) is not installed"
    exit 0
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/ssmsg-bench-postgres.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  chmod 755 "$work"  # the server runs as the user postgres, which must reach the cluster's folder
  TMPDIR=$work SSMSG_BENCH_IN_CLUSTER=$work pg_virtualenv -t -- bash "$0" "$build" 2>&1 |
    grep -v '^Creating new PostgreSQL cluster\|^Dropping cluster'
  exit "${PIPESTATUS[0]}"
fi

# In the cluster, which the PG* variables point at.
work=$SSMSG_BENCH_IN_CLUSTER
count=${SSMSG_E2E_CONTROLLERS:-1000}
seconds=${SSMSG_SERVE_SECONDS:-10}
source bench/site_file.sh
site=$(site_file "$build" "$count")
tool=$PWD/$build/tool/ssmsg
db=$work/site.db
stats=$work/time.txt
time=(--time 2026-12-04T09:05:07)
measure() {
  /usr/bin/time -o "$stats" -f "%e %M" "$@" >/dev/null
  cut -d" " -f1,2 "$stats"
}
fastest() { sort -n | head -1; }
"$tool" migrate postgresql:/// >/dev/null 2>&1
into_db=() into_server=() from_db=() from_server=()
for round in 1 2 3; do
  rm -f "$db"
  into_db+=("$(measure "$tool" convert "$site" "$db")")
  into_server+=("$(measure "$tool" convert "$site" "postgresql:///?site=bench$round")")
  from_db+=("$(measure "$tool" settings --config "$db" "${time[@]}")")
  from_server+=("$(measure "$tool" settings --config "postgresql:///?site=bench$round" "${time[@]}")")
done
if ! cmp -s <("$tool" settings --config "$db" "${time[@]}") \
  <("$tool" settings --config "postgresql:///?site=bench1" "${time[@]}"); then
  echo "postgres: settings from the server differ from those of the database" >&2
  exit 1
fi

# --- Two servers of one site ---
location="postgresql:///?site=bench1"
printf 'bench password\n' | "$tool" user add bench --role admin --config "$location" 2>/dev/null
token=$("$tool" user token bench --config "$location" 2>/dev/null)
auth="Authorization: Bearer $token"
servers=()
trap 'kill "${servers[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
source bench/wrk.sh
start_server "$location" "$work/serve1.log"
servers+=("$started")
port1=$started_port
start_server "$location" "$work/serve2.log"
servers+=("$started")
port2=$started_port
n=$((count / 2))
path="/api/controllers/$((1 + n / 100))/$((n % 100))"
url1="http://127.0.0.1:$port1$path"
url2="http://127.0.0.1:$port2$path"
wrk_scripts "$work" "$url1" "$token"
wrk -t1 -c4 -d"${seconds}s" --latency -s "$work/status.lua" -H "$auth" "$url1" | figures \
  >"$work/get1.txt" &
first=$!
wrk -t1 -c4 -d"${seconds}s" --latency -s "$work/status.lua" -H "$auth" "$url2" | figures \
  >"$work/get2.txt"
wait "$first"
get=$(cat "$work/get1.txt" "$work/get2.txt" | awk '{ rate += $1; if ($2 > p99) p99 = $2;
  failed += $4 } END { printf "%s %s %s\n", rate, p99, failed }')
patch=$(wrk -t1 -c1 -d"${seconds}s" --latency -s "$work/patch.lua" "$url1" | figures)
feed=$(python3 bench/feed_latency.py "$token" "$url1" "$work/patch0.json" "$work/patch1.json" \
  "http://127.0.0.1:$port2/api/changes/stream" | sed -n 's/^feed //p')
kill "${servers[@]}"
wait 2>/dev/null || true
servers=()

# --- 100 sites of 10 controllers, one server ---
python3 bench/make_site.py 10 >"$work/small.json"
for k in $(seq -w 1 100); do
  "$tool" convert "$work/small.json" "postgresql:///?site=small$k"
  "$tool" user role bench --role viewer --config "postgresql:///?site=small$k" 2>/dev/null
done
start_server "postgresql:///" "$work/sites.log"
servers+=("$started")
sites_ms() {
  for _ in 1 2 3; do
    curl -s -o /dev/null -w '%{time_total}\n' -H "$auth" "http://127.0.0.1:$started_port$1"
  done | sort -n | head -1 | awk '{ printf "%.1f", $1 * 1000 }'
}
sites_ms /api/sites >/dev/null  # the first request of each opens its site
sites_ms /api/sites/small50/controllers >/dev/null
list_ms=$(sites_ms /api/sites)
controllers_ms=$(sites_ms /api/sites/small50/controllers)
kill "${servers[@]}"
wait 2>/dev/null || true
servers=()

awk -v n="$count" -v into_db="$(printf "%s\n" "${into_db[@]}" | fastest)" \
  -v into_server="$(printf "%s\n" "${into_server[@]}" | fastest)" \
  -v from_db="$(printf "%s\n" "${from_db[@]}" | fastest)" \
  -v from_server="$(printf "%s\n" "${from_server[@]}" | fastest)" \
  -v get="$get" -v patch="$patch" -v feed="$feed" -v list="$list_ms" \
  -v controllers="$controllers_ms" '
function verdict(met) { return met ? "met" : "not met" }
BEGIN {
  split(into_db, a, " "); split(into_server, b, " "); split(from_db, c, " "); split(from_server, d, " ")
  split(get, g, " "); split(patch, p, " "); split(feed, f, " ")
  printf "site on a PostgreSQL server, %d controllers:\n", n
  printf "  ssmsg settings from the server: %.2f s against %.2f s from a site database, %.2fx (target <= 1.5x: %s); peak memory %.0f MB against %.0f MB\n",
    d[1], c[1], d[1] / c[1], verdict(d[1] <= 1.5 * c[1]), d[2] / 1024, c[2] / 1024
  printf "  ssmsg convert into a new site on the server: %.2f s against %.2f s into a new site database, %.2fx (target <= 2x: %s)\n",
    b[1], a[1], b[1] / a[1], verdict(b[1] <= 2 * a[1])
  printf "  two ssmsg serve, GET of a controller, 8 connections over both: %.0f requests/s (target >= 2000: %s), p99 %.1f ms (target < 10 ms: %s), %d failed\n",
    g[1], verdict(g[1] >= 2000 && g[3] == 0), g[2], verdict(g[2] < 10 && g[3] == 0), g[3]
  printf "  PATCH of one input'"'"'s name, one at a time: p99 %.1f ms (target < 30 ms: %s), %d failed\n",
    p[2], verdict(p[2] < 30 && p[4] == 0), p[4]
  printf "  a change through one server to the feed of the other: p50 %.1f ms, p99 %.1f ms (target < 200 ms: %s)\n",
    f[1], f[2], verdict(f[2] < 200)
  printf "  100 sites of 10 controllers, one ssmsg serve: GET /api/sites %.1f ms, a site'"'"'s controllers %.1f ms (target each < 50 ms: %s)\n",
    list, controllers, verdict(list < 50 && controllers < 50)
}'
