#!/usr/bin/env bash
# The targets of sites on a PostgreSQL server, run by bench/run after the site database's (or
# alone):
#
#   bench/postgres.sh [BUILD]    (default build-bench; BUILD/tool/ssmsg must be built)
#
# On the generated site of SSMSG_E2E_CONTROLLERS (default 1,000) controllers, on a server that
# pg_virtualenv starts for the run: `ssmsg convert` of the site file into a new site on the server
# against the same into a new site database, and `ssmsg settings` from the server against the same
# from the database (time and peak memory, default jobs). Each time is the fastest of three runs,
# the contestants taking turns.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
if ! command -v pg_virtualenv >/dev/null; then
  echo "postgres: skipped: pg_virtualenv (postgresql-common) is not installed"
  exit 0
fi
count=${SSMSG_E2E_CONTROLLERS:-1000}
source bench/site_file.sh
site=$(site_file "$build" "$count")
work=$(mktemp -d "${TMPDIR:-/tmp}/ssmsg-bench-postgres.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
export SSMSG_BENCH_TOOL=$PWD/$build/tool/ssmsg SSMSG_BENCH_SITE=$PWD/$site SSMSG_BENCH_WORK=$work
export SSMSG_BENCH_COUNT=$count
TMPDIR=$work pg_virtualenv -t -- bash -c '
set -euo pipefail
tool=$SSMSG_BENCH_TOOL site=$SSMSG_BENCH_SITE db=$SSMSG_BENCH_WORK/site.db
stats=$SSMSG_BENCH_WORK/time.txt
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
awk -v n="$SSMSG_BENCH_COUNT" -v into_db="$(printf "%s\n" "${into_db[@]}" | fastest)" \
  -v into_server="$(printf "%s\n" "${into_server[@]}" | fastest)" \
  -v from_db="$(printf "%s\n" "${from_db[@]}" | fastest)" \
  -v from_server="$(printf "%s\n" "${from_server[@]}" | fastest)" "
function verdict(met) { return met ? \"met\" : \"not met\" }
BEGIN {
  split(into_db, a, \" \"); split(into_server, b, \" \"); split(from_db, c, \" \"); split(from_server, d, \" \")
  printf \"site on a PostgreSQL server, %d controllers:\\n\", n
  printf \"  ssmsg settings from the server: %.2f s against %.2f s from a site database, %.2fx (target <= 1.5x: %s); peak memory %.0f MB against %.0f MB\\n\",
    d[1], c[1], d[1] / c[1], verdict(d[1] <= 1.5 * c[1]), d[2] / 1024, c[2] / 1024
  printf \"  ssmsg convert into a new site on the server: %.2f s against %.2f s into a new site database, %.2fx (target <= 2x: %s)\\n\",
    b[1], a[1], b[1] / a[1], verdict(b[1] <= 2 * a[1])
}"
' 2>&1 | grep -v '^Creating new PostgreSQL cluster\|^Dropping cluster'
