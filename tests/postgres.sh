#!/bin/sh
# Runs the PostgreSQL tests ($1, with the arguments after it) on a server of their own, which pg_virtualenv makes in a folder
# of this run's and drops again. Without pg_virtualenv they skip (status 77), unless
# SSMSG_REQUIRE_POSTGRESQL is set.
if ! command -v pg_virtualenv >/dev/null 2>&1; then
  if [ -n "${SSMSG_REQUIRE_POSTGRESQL:-}" ]; then
    echo "postgres: pg_virtualenv (postgresql-common) is not installed" >&2
    exit 1
  fi
  echo "postgres: skipped: pg_virtualenv (postgresql-common) is not installed" >&2
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/ssmsg-postgres.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# As root, the server runs as the user postgres, which must reach the cluster's folder.
chmod 755 "$work"
TMPDIR=$work pg_virtualenv -t -- "$@"
