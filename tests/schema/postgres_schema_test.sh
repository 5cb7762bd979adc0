#!/usr/bin/env bash
# `edsutil sql --script` piped into psql as it is creates the cable-routing
# database on a throwaway PostgreSQL server; the catalog is then checked
# against the statements, and the database against a few rows.
#
#   postgres_schema_test.sh <edsutil>
#
# The server comes from tests/support/postgres_server.sh: private, on a Unix
# socket only, removed on every exit; skipped (77) without server binaries,
# except under CI=true.
set -euo pipefail

edsutil=${1:?usage: $0 <edsutil>}
# shellcheck source=../support/postgres_server.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/postgres_server.sh"

pg_start
work=$pg_work
query() { pg_query "$1"; }

# No psql options beyond stopping at the first error: the script itself must
# create the schema and put it on the search path.
"$edsutil" sql --script >"$work/schema.sql" || fail "edsutil sql --script failed"
"${psql[@]}" -f - <"$work/schema.sql" || fail "psql did not run 'edsutil sql --script'"

# --- catalog against the statements ------------------------------------------
# Expected rows, from the statement texts (unquoted names fold to lower case):
#   columns.expected      table|column|t when the type text says NOT NULL, else f
#   constraints.expected  table|name|p/u/f|columns|referenced table|referenced columns
awk -v columns="$work/columns.expected" -v constraints="$work/constraints.expected" '
  function table_of(text) { sub(/^xq40718\./, "", text); return text }
  function squeeze(text) { gsub(/ /, "", text); return text }
  /^CREATE TABLE / {
    rest = substr($0, 14)
    open = index(rest, " (")
    table = table_of(substr(rest, 1, open - 1))
    body = substr(rest, open + 2)
    sub(/\);$/, "", body)
    n = split(body, items, ",")
    for (i = 1; i <= n; i++) {
      blank = index(items[i], " ")
      notnull = index(substr(items[i], blank + 1), "NOT NULL") > 0 ? "t" : "f"
      print tolower(table "|" substr(items[i], 1, blank - 1)) "|" notnull > columns
    }
  }
  /^ALTER TABLE / {
    rest = substr($0, 13)
    add = index(rest, " ADD CONSTRAINT ")
    table = table_of(substr(rest, 1, add - 1))
    def = substr(rest, add + 16)
    name = substr(def, 1, index(def, " ") - 1)
    def = substr(def, length(name) + 2)
    kind = def ~ /^PRIMARY KEY/ ? "p" : def ~ /^UNIQUE/ ? "u" : def ~ /^FOREIGN KEY/ ? "f" : "?"
    keys = squeeze(substr(def, index(def, "(") + 1, index(def, ")") - index(def, "(") - 1))
    target = ""; targetKeys = ""
    if (kind == "f") {
      ref = substr(def, index(def, "REFERENCES ") + 11)
      target = squeeze(substr(ref, 1, index(ref, "(") - 1))
      targetKeys = squeeze(substr(ref, index(ref, "(") + 1, index(ref, ")") - index(ref, "(") - 1))
    }
    print tolower(table "|" name "|" kind "|" keys "|" target "|" targetKeys) > constraints
  }
' "$work/schema.sql"
sort -o "$work/columns.expected" "$work/columns.expected"
sort -o "$work/constraints.expected" "$work/constraints.expected"

query "SELECT c.relname || '|' || a.attname || '|' || CASE WHEN a.attnotnull THEN 't' ELSE 'f' END
       FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace
       WHERE n.nspname = 'xq40718' AND c.relkind = 'r' AND a.attnum > 0 AND NOT a.attisdropped" |
  sort >"$work/columns.actual"
query "SELECT cl.relname || '|' || co.conname || '|' || co.contype::text || '|' ||
         (SELECT string_agg(a.attname, ',' ORDER BY k.ord) FROM unnest(co.conkey) WITH ORDINALITY k(num, ord)
          JOIN pg_attribute a ON a.attrelid = co.conrelid AND a.attnum = k.num) || '|' ||
         COALESCE(rf.relname, '') || '|' ||
         COALESCE((SELECT string_agg(a.attname, ',' ORDER BY k.ord) FROM unnest(co.confkey) WITH ORDINALITY k(num, ord)
          JOIN pg_attribute a ON a.attrelid = co.confrelid AND a.attnum = k.num), '')
       FROM pg_constraint co JOIN pg_class cl ON cl.oid = co.conrelid
       JOIN pg_namespace n ON n.oid = co.connamespace LEFT JOIN pg_class rf ON rf.oid = co.confrelid
       WHERE n.nspname = 'xq40718' AND co.contype IN ('p', 'u', 'f')" |
  sort >"$work/constraints.actual"

tables=$(query "SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
                WHERE n.nspname = 'xq40718' AND c.relkind = 'r'")
[ "$tables" -eq 13 ] || fail "expected 13 tables, found $tables"
[ "$(wc -l <"$work/columns.actual")" -eq 107 ] || fail "expected 107 columns, found $(wc -l <"$work/columns.actual")"
for kind in p:13 u:9 f:24; do
  found=$(cut -d'|' -f3 "$work/constraints.actual" | grep -cx "${kind%%:*}" || true)
  [ "$found" -eq "${kind##*:}" ] || fail "expected ${kind##*:} constraints of type ${kind%%:*}, found $found"
done
diff -u "$work/columns.expected" "$work/columns.actual" || fail "columns or NOT NULL flags differ from the statements"
diff -u "$work/constraints.expected" "$work/constraints.actual" || fail "constraints differ from the statements"

# --- the database enforces them ------------------------------------------------
query "SET search_path TO xq40718;
       INSERT INTO Work_Package VALUES (1, 'part', 'rev', 'design', 0, 0);
       INSERT INTO Cable_Reference VALUES (1, 'PN-1', 'power', 0.012, 0.4, 0.08, NULL);
       INSERT INTO Cable_Instance VALUES (1, 1, 'W001', NULL, NULL, NULL, NULL, 1);" >/dev/null ||
  fail "valid rows were refused"
if query "SET search_path TO xq40718; INSERT INTO Cable_Instance VALUES (2, 1, 'W002', NULL, NULL, NULL, NULL, 9);" \
  >/dev/null 2>&1; then
  fail "a cable instance of an unknown work package was accepted"
fi
# The same script run again fails: its first CREATE TABLE finds the table.
if "${psql[@]}" -f - <"$work/schema.sql" >/dev/null 2>&1; then
  fail "running the script twice did not fail"
fi

echo "ok: 13 tables, 107 columns, 13 primary keys, 9 unique constraints, 24 foreign keys on PostgreSQL $("$pg_bindir/postgres" --version | awk '{print $3}')"
