#!/usr/bin/env bash
# scripts/init-catalogue: on a SQLite data source the table and its indexes appear, a second
# run keeps the rows, and a data source that cannot be reached fails; on the PostgreSQL test
# cluster (KORVANE_PG_DIR) a second run succeeds and a wrong password fails.
#   init_catalogue_test.sh REPO
set -euo pipefail
repo=$1
init=$repo/scripts/init-catalogue
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

eval "$("$repo/scripts/odbc-sqlite-dsn" "$work" KROINIT "$work/kro.db")"
"$init" KROINIT >/dev/null || fail "first run on SQLite"
sqlite3 "$work/kro.db" "insert into FILELIST (CPATH) values ('kept')"
"$init" KROINIT KRO PLQ >/dev/null || fail "second run on SQLite"
[ "$(sqlite3 "$work/kro.db" "select CPATH from FILELIST")" = kept ] || fail "rows lost by a second run"
indexes=$(sqlite3 "$work/kro.db" "select name from sqlite_master where type='index' order by name" | tr '\n' ' ')
[ "$indexes" = "FILELIST_CHANNEL_END FILELIST_PATH FILELIST_STATION_BEGIN " ] || fail "indexes: $indexes"

"$repo/scripts/odbc-sqlite-dsn" "$work" KROBROKEN "$work/no/such/dir/kro.db" >/dev/null
! "$init" KROBROKEN 2>"$work/err" || fail "unreachable SQLite data source accepted"
grep -q "connect failed" "$work/err" || fail "driver message missing: $(cat "$work/err")"
! "$init" NOSUCHDSN 2>/dev/null || fail "unknown data source accepted"

if [ ! -f "${KORVANE_PG_DIR:-/nonexistent}/env" ]; then
    [ "${KORVANE_REQUIRE_PG:-}" != 1 ] || fail "no PostgreSQL test cluster at '${KORVANE_PG_DIR:-}'"
    echo "PostgreSQL part skipped: no test cluster"
    exit 0
fi
# shellcheck disable=SC1091
. "$KORVANE_PG_DIR/env"
export ODBCSYSINI=$KORVANE_PG_DIR ODBCINI=$KORVANE_PG_DIR/odbc.ini
"$init" "$KORVANE_PG_DSN" "$KORVANE_PG_UID" "$KORVANE_PG_PWD" >/dev/null || fail "second run on PostgreSQL"
! "$init" "$KORVANE_PG_DSN" "$KORVANE_PG_UID" wrong 2>"$work/err" || fail "wrong password accepted"
grep -q "password authentication failed" "$work/err" || fail "driver message missing: $(cat "$work/err")"
echo "init-catalogue: SQLite and PostgreSQL passed"
