#!/usr/bin/env bash
# The site editor's targets, run by bench/run after the site database's (or alone):
#
#   bench/serve.sh [BUILD]    (default build-bench; BUILD/tool/ssmsg and BUILD/bench/ssmsg_diff_one
#                              must be built)
#
# On the database of the generated site of SSMSG_E2E_CONTROLLERS (default 1,000) controllers, with
# `ssmsg serve` on a free loopback port and wrk as the load:
# - GET of one controller with 8 connections: requests/s and the 99th percentile;
# - PATCH of one input's name (the whole "Inputs" list, as a merge patch replaces lists), one
#   editor at a time: the 99th percentile, and the server's CPU time per change;
# - the pending messages of one controller (never marked sent: all of its settings), their mean
#   time against the same controller's diff from an empty site in process (ssmsg_diff_one);
# - the server's resident memory under all three at once for SSMSG_SERVE_SOAK_SECONDS (default
#   120), sampled every second: flat (the peak of the second half within 10% of that of the first,
#   its first tenth left out) and its peak beyond SQLite's page cache;
# - the change feed: from each of 200 changes' answers to its event, on a subscriber of the server
#   and on one of a second server on the database (bench/feed_latency.py);
# - a change set that adds a holiday to every controller, previewed and applied (the fastest of
#   three, bench/change_set.py);
# - the controller's pages: the heaviest one's size and its load time in headless Chromium; CSV
#   export and import of every name of the site (bench/editor.py, run by the first python3 on the
#   PATH that has Selenium).
# Each load runs SSMSG_SERVE_SECONDS (default 10) seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
count=${SSMSG_E2E_CONTROLLERS:-1000}
seconds=${SSMSG_SERVE_SECONDS:-10}
soak=${SSMSG_SERVE_SOAK_SECONDS:-120}
source bench/site_file.sh
site=$(site_file "$build" "$count")
tool="$build/tool/ssmsg"
work="$build/bench/serve"
rm -rf "$work"
mkdir -p "$work"
db="$work/site.db"
"$tool" convert "$site" "$db"
printf 'bench password\n' | "$tool" user add bench --role admin --config "$db" 2>/dev/null
token=$("$tool" user token bench --config "$db")
auth="Authorization: Bearer $token"

# The controller in the middle of the site (bench/make_site.py numbers them so).
n=$((count / 2))
interface=$((1 + n / 100))
node=$((n % 100))

source bench/wrk.sh
start_server "$db" "$work/serve.log"
server=$started
port=$started_port
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
url="http://127.0.0.1:$port/api/controllers/$interface/$node"

wrk_scripts "$work" "$url" "$token"

get=$(wrk -t2 -c8 -d"${seconds}s" --latency -s "$work/status.lua" -H "$auth" "$url" | figures)
# The server's user and system CPU time so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$server/stat"; }
ticks=$(cpu_ticks)
patch=$(wrk -t1 -c1 -d"${seconds}s" --latency -s "$work/patch.lua" "$url" | figures)
patch_ms=$(awk -v t="$(($(cpu_ticks) - ticks))" -v hz="$(getconf CLK_TCK)" -v p="$patch" \
  'BEGIN { split(p, f, " "); printf "%.2f", f[5] ? 1000 * t / hz / f[5] : 0 }')
pending=$(wrk -t1 -c1 -d"${seconds}s" --latency -s "$work/status.lua" -H "$auth" \
  "$url/pending" | figures)
echo '{"Controllers": []}' >"$work/empty.json"
diff_one=$("$build/bench/ssmsg_diff_one" "$work/empty.json" "$db" "$interface" "$node" |
  sed -n 's/^diff //p')

# Memory under all three loads at once, sampled every second.
wrk -t1 -c4 -d"${soak}s" -s "$work/status.lua" -H "$auth" "$url" >/dev/null &
loads=($!)
wrk -t1 -c1 -d"${soak}s" -s "$work/patch.lua" "$url" >/dev/null &
loads+=($!)
wrk -t1 -c1 -d"${soak}s" -s "$work/status.lua" -H "$auth" "$url/pending" >/dev/null &
loads+=($!)
: >"$work/rss.txt"
for _ in $(seq "$soak"); do
  sleep 1
  awk '/^VmRSS:/ { print $2 }' "/proc/$server/status" >>"$work/rss.txt"
done
wait "${loads[@]}"

# The change feed: from a change's answer to its event, on a subscriber of the server it was made
# through and on one of a second server on the same database.
start_server "$db" "$work/serve2.log"
second=$started
port2=$started_port
feed=$(python3 bench/feed_latency.py "$token" "$url" "$work/patch0.json" "$work/patch1.json" \
  "http://127.0.0.1:$port/api/changes/stream" "http://127.0.0.1:$port2/api/changes/stream" |
  sed -n 's/^feed //p')
kill "$second"
wait "$second" 2>/dev/null || true

# A change set over every controller: one holiday added to each, in one transaction.
changeset=$(python3 bench/change_set.py "$token" "http://127.0.0.1:$port" | sed -n 's/^changeset //p')

# The controller's pages, and the site's names as CSV.
browser_python=python3
for candidate in $(which -a python3); do
  if "$candidate" -c 'import selenium' 2>/dev/null; then browser_python=$candidate; break; fi
done
editor=$("$browser_python" bench/editor.py "$token" "http://127.0.0.1:$port" "$interface" "$node" \
  bench "bench password" | sed -n 's/^editor //p')

# SQLite's page cache of the server's connection: its default, 2,000 KiB.
cache_kib=2000
awk -v n="$count" -v get="$get" -v patch="$patch" -v pending="$pending" -v patch_ms="$patch_ms" -v diff="$diff_one" -v feed="$feed" -v changeset="$changeset" -v editor="$editor" \
  -v soak="$soak" -v cache="$cache_kib" -v samples="$(paste -sd' ' "$work/rss.txt")" '
function verdict(met) { return met ? "met" : "not met" }
BEGIN {
  split(get, g, " "); split(patch, p, " "); split(pending, q, " "); split(samples, rss, " ")
  split(feed, f, " ")
  split(changeset, c, " ")
  printf "site editor, %d controllers (ssmsg serve, wrk):\n", n
  printf "  GET of a controller, 8 connections: %.0f requests/s (target >= 2000: %s), p99 %.1f ms (target < 10 ms: %s)%s\n",
    g[1], verdict(g[1] >= 2000 && g[4] == 0), g[2], verdict(g[2] < 10 && g[4] == 0),
    g[4] ? sprintf(", %d failed", g[4]) : ""
  printf "  PATCH of an input'"'"'s name, one editor: p99 %.1f ms, %.0f changes/s, server CPU %.2f ms a change (target < 30 ms: %s)%s\n",
    p[2], p[1], patch_ms, verdict(p[2] < 30 && p[4] == 0), p[4] ? sprintf(", %d failed", p[4]) : ""
  printf "  pending messages of a controller: %.1f ms on average, %.2fx its diff in process (%.1f ms) (target <= 3x: %s)\n",
    q[3], q[3] / (diff * 1000), diff * 1000, verdict(q[3] <= 3 * diff * 1000 && q[4] == 0)
  printf "  change feed, from a change'"'"'s answer to its event: p50 %.1f ms, p99 %.1f ms on the same server; p50 %.1f ms, p99 %.1f ms on another on the database (target < 200 ms: %s)\n",
    f[1], f[2], f[3], f[4], verdict(f[4] < 200)
  printf "  change set over all %d controllers (one holiday added to each): preview %.1f s, applied in one transaction %.1f s (target < 10 s: %s)\n",
    c[3], c[1], c[2], verdict(c[2] < 10 && c[3] == n)
  split(editor, e, " ")
  printf "  the controller'"'"'s heaviest page, %s: %d kB (target < 300 kB: %s), loads in headless Chromium in %d ms, the fastest of 3 (target < 300 ms: %s)\n",
    e[2], e[1], verdict(e[1] < 300), e[3], verdict(e[3] < 300)
  printf "  a save of an input'"'"'s name in Chromium, from the submission to the end of the load of the page it leads to: %d ms, the fastest of 3 (target < 200 ms: %s)\n",
    e[7], verdict(e[7] < 200)
  printf "  CSV of every name of the site (%d rows), the fastest of 3: export %.2f s (target < 2 s: %s), import %.2f s (target < 5 s: %s)\n",
    e[6], e[4], verdict(e[4] < 2), e[5], verdict(e[5] < 5)
  # Flat: the peak of the second half against that of the first (after its first tenth).
  first = 0; last = 0; peak = 0
  for (i = int(soak / 10) + 1; i <= soak; ++i) {
    if (i <= soak / 2 && rss[i] > first) first = rss[i]
    if (i > soak / 2 && rss[i] > last) last = rss[i]
    if (rss[i] > peak) peak = rss[i]
  }
  printf "  server memory over %d s of all three: peak %.1f MB in the first half, %.1f MB in the second, %+.1f%% (target within 10%%: %s)\n",
    soak, first / 1024, last / 1024, 100 * (last - first) / first, verdict(last <= 1.1 * first && last >= 0.9 * first)
  printf "  peak server memory beyond the %.0f MB page cache: %.1f MB (target <= 64 MB: %s)\n",
    cache / 1024, (peak - cache) / 1024, verdict(peak - cache <= 64 * 1024)
}'
