#!/usr/bin/env bash
# Creates the cable-routing database from the generated SQL statements on a
# throwaway PostgreSQL server, then checks the catalog against the statements.
#
#   postgres_schema_test.sh <statement printer>
#
# The server lives in a private temporary directory, listens only on a Unix
# socket there, and is stopped and removed on every exit path. Run as root, it
# runs as an unprivileged user (KEL_PG_USER, default "nobody"): PostgreSQL
# refuses to run as root.
#
# Server binaries: KEL_PG_BINDIR, else initdb on PATH, else the newest
# /usr/lib/postgresql/*/bin. Without them the test is skipped (exit 77),
# unless CI=true, where that is a failure.
set -euo pipefail

printer=${1:?usage: $0 <statement printer>}
readonly SKIP=77

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

find_bindir() {
  local dir
  if [ -n "${KEL_PG_BINDIR:-}" ]; then
    [ -x "$KEL_PG_BINDIR/initdb" ] && echo "$KEL_PG_BINDIR" && return 0
    return 1
  fi
  local initdb
  if initdb=$(command -v initdb 2>/dev/null); then
    dir=$(dirname "$initdb")
    [ -x "$dir/pg_ctl" ] && echo "$dir" && return 0
  fi
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && echo "$dir" && return 0
  done
  return 1
}

if ! bindir=$(find_bindir); then
  [ "${CI:-}" = true ] && fail "no PostgreSQL server binaries found (CI=true: not skipping)"
  echo "SKIP: no PostgreSQL server binaries found (set KEL_PG_BINDIR)"
  exit $SKIP
fi
psql_bin=$bindir/psql
[ -x "$psql_bin" ] || psql_bin=$(command -v psql) || fail "psql not found"

# Unprivileged execution of the server tools when run as root.
as_server_user=()
if [ "$(id -u)" -eq 0 ]; then
  server_user=${KEL_PG_USER:-nobody}
  id "$server_user" >/dev/null 2>&1 || fail "user $server_user does not exist (set KEL_PG_USER)"
  if command -v runuser >/dev/null; then
    as_server_user=(runuser -u "$server_user" --)
  else
    as_server_user=(setpriv --reuid="$server_user" --regid="$(id -g "$server_user")" --init-groups --)
  fi
fi

# /tmp rather than TMPDIR: the socket path must stay short and reachable by
# the server user.
work=$(mktemp -d /tmp/kelpg.XXXXXX)
started=0
cleanup() {
  local status=$?
  if [ "$started" = 1 ]; then
    "${as_server_user[@]}" "$bindir/pg_ctl" -D "$work/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  if [ "$status" -ne 0 ] && [ -f "$work/server.log" ]; then
    echo "--- server log ---" >&2
    tail -n 30 "$work/server.log" >&2 || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
[ ${#as_server_user[@]} -eq 0 ] || chown "$server_user" "$work"

# --- statements -------------------------------------------------------------
"$printer" >"$work/statements.txt" || fail "the statement printer failed"
count=$(wc -l <"$work/statements.txt")
[ "$count" -eq 59 ] || fail "expected 59 statements, got $count"
if grep -vq '^"[^"]*"$' "$work/statements.txt"; then
  fail "a statement is not a single line between double quotes"
fi
sed -e 's/^"//' -e 's/"$//' "$work/statements.txt" >"$work/schema.sql"

# --- server -----------------------------------------------------------------
"${as_server_user[@]}" "$bindir/initdb" -D "$work/data" -U kel --auth=trust -E UTF8 --no-locale \
  >"$work/initdb.log" 2>&1 || { cat "$work/initdb.log" >&2; fail "initdb"; }
started=1
"${as_server_user[@]}" "$bindir/pg_ctl" -D "$work/data" -l "$work/server.log" -w -t 60 \
  -o "-c listen_addresses='' -k $work -p 5432 -c fsync=off" start >/dev/null || fail "the server did not start"

psql=("$psql_bin" -X -q -v ON_ERROR_STOP=1 -h "$work" -p 5432 -U kel -d postgres)
query() { "${psql[@]}" -A -t -c "$1"; }

{
  echo 'CREATE SCHEMA xq40718;'
  echo 'SET search_path TO xq40718;'
  cat "$work/schema.sql"
} >"$work/run.sql"
"${psql[@]}" -1 -f "$work/run.sql" || fail "the generated statements did not run"

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

echo "ok: 13 tables, 107 columns, 13 primary keys, 9 unique constraints, 24 foreign keys on PostgreSQL $("$bindir/postgres" --version | awk '{print $3}')"
