#!/usr/bin/env bash
# `edsutil sql --script` piped into psql as it is creates the cable-routing
# database on a throwaway PostgreSQL server (tests/support/postgres_server.sh:
# skipped with 77 without server binaries, except under CI=true).
#
#   edsutil_sql_postgres_test.sh <edsutil>
set -euo pipefail

edsutil=${1:?usage: $0 <edsutil>}
# shellcheck source=../support/postgres_server.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/postgres_server.sh"
pg_start

# No psql options beyond stopping at the first error: the script itself must
# create the schema and put it on the search path.
"$edsutil" sql --script | "${psql[@]}" -f - || fail "psql did not run 'edsutil sql --script'"

count() {
  pg_query "SELECT count(*) FROM $1 JOIN pg_namespace n ON n.oid = $2 WHERE n.nspname = 'xq40718' $3"
}
expect() {
  [ "$2" -eq "$3" ] || fail "expected $3 $1, found $2"
}
expect tables "$(count 'pg_class c' c.relnamespace "AND c.relkind = 'r'")" 13
expect columns "$(count 'pg_attribute a JOIN pg_class c ON c.oid = a.attrelid' c.relnamespace \
  "AND c.relkind = 'r' AND a.attnum > 0")" 107
for kind in p:13 u:9 f:24; do
  expect "constraints of type ${kind%%:*}" \
    "$(count 'pg_constraint co' co.connamespace "AND co.contype = '${kind%%:*}'")" "${kind##*:}"
done

# The same script again fails at its first CREATE TABLE and says so.
if "$edsutil" sql --script | "${psql[@]}" -f - >/dev/null 2>&1; then
  fail "running the script twice did not fail"
fi
echo "ok: edsutil sql --script | psql created 13 tables, 107 columns, 13 primary keys, 9 unique, 24 foreign keys"
