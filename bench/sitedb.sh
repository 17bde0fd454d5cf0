#!/usr/bin/env bash
# The site database targets, run by bench/run after its end-to-end figures (or alone):
#
#   bench/sitedb.sh [BUILD]    (default build-bench; BUILD/tool/ssmsg must be built)
#
# On the generated site of SSMSG_E2E_CONTROLLERS (default 1,000) controllers, kept in
# BUILD/bench/site-N.json as bench/run keeps it: `ssmsg convert` of the site file to a database
# (its time against `ssmsg settings` from the site file, and the database's size against the
# file's), and `ssmsg settings` from the database against the same from the site file (time and
# peak memory, default jobs). Each time is the fastest of three runs, the contestants taking turns.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
count=${SSMSG_E2E_CONTROLLERS:-1000}
source bench/site_file.sh
site=$(site_file "$build" "$count")
tool="$build/tool/ssmsg"
db="$build/bench/site-$count.db"
stats="$build/bench/sitedb-time.txt"
time=(--time 2026-12-04T09:05:07)

measure() {
  /usr/bin/time -o "$stats" -f '%e %M' "$@" >/dev/null
  cut -d' ' -f1,2 "$stats"
}
fastest() { sort -n | head -1; }

converts=() jsons=() dbs=()
for round in 1 2 3; do
  rm -f "$db"
  converts+=("$(measure "$tool" convert "$site" "$db")")
  jsons+=("$(measure "$tool" settings --config "$site" "${time[@]}")")
  dbs+=("$(measure "$tool" settings --config "$db" "${time[@]}")")
done
convert=$(printf '%s\n' "${converts[@]}" | fastest)
json=$(printf '%s\n' "${jsons[@]}" | fastest)
from_db=$(printf '%s\n' "${dbs[@]}" | fastest)
if ! cmp -s <("$tool" settings --config "$site" "${time[@]}") \
  <("$tool" settings --config "$db" "${time[@]}"); then
  echo "sitedb: settings of the database differ from those of the site file" >&2
  exit 1
fi

# The page cache that the reader configures (site/db/DbReader.cpp, kCacheKiB).
cache_kib=8192
awk -v n="$count" -v bytes="$(stat -c %s "$site")" -v db_bytes="$(stat -c %s "$db")" \
  -v convert="$convert" -v json="$json" -v from_db="$from_db" -v cache="$cache_kib" '
function verdict(met) { return met ? "met" : "not met" }
BEGIN {
  split(convert, c, " "); split(json, j, " "); split(from_db, d, " ")
  printf "site database, %d controllers (site file %.1f MB, database %.1f MB):\n", n, bytes / 1e6, db_bytes / 1e6
  printf "  ssmsg settings from the database: %.2f s against %.2f s from the site file, %.2fx (target <= 1x: %s)\n",
    d[1], j[1], d[1] / j[1], verdict(d[1] <= j[1])
  printf "  peak memory of settings from the database: %.0f MB against %.0f MB from the site file (target <= that plus the %d MB page cache: %s)\n",
    d[2] / 1024, j[2] / 1024, cache / 1024, verdict(d[2] <= j[2] + cache)
  printf "  ssmsg convert to a database: %.2f s, %.2fx settings from the site file (target <= 2.5x: %s)\n",
    c[1], c[1] / j[1], verdict(c[1] <= 2.5 * j[1])
  printf "  database size: %.2fx the site file (target <= 1.5x: %s)\n",
    db_bytes / bytes, verdict(db_bytes <= 1.5 * bytes)
}'
