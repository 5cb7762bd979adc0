# A throwaway PostgreSQL server for integration tests. Source this file, then
# call pg_start; afterwards "${psql[@]}" runs psql against the server (with
# ON_ERROR_STOP) and $pg_work is a private directory that goes with it.
#
# The server lives in a temporary directory under /tmp, listens only on a Unix
# socket there, and is stopped and removed on every exit path (an EXIT trap,
# INT and TERM included). Run as root, the server tools run as an
# unprivileged user (KEL_PG_USER, default "nobody") through runuser, or
# setpriv where runuser is missing: PostgreSQL refuses to run as root.
#
# KEL_PG_PARENT (default /tmp) is where the private directory is made; it must
# be reachable by the server user and short enough for a socket path.
#
# Server binaries: KEL_PG_BINDIR, else initdb on PATH, else the newest
# /usr/lib/postgresql/*/bin. Without them pg_start exits 77 (CTest: skipped),
# unless CI=true, where that is a failure.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

pg_find_bindir() {
  local dir initdb
  if [ -n "${KEL_PG_BINDIR:-}" ]; then
    [ -x "$KEL_PG_BINDIR/initdb" ] && echo "$KEL_PG_BINDIR" && return 0
    return 1
  fi
  if initdb=$(command -v initdb 2>/dev/null); then
    dir=$(dirname "$initdb")
    [ -x "$dir/pg_ctl" ] && echo "$dir" && return 0
  fi
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && echo "$dir" && return 0
  done
  return 1
}

pg_cleanup() {
  local status=$?
  if [ "${pg_started:-0}" = 1 ]; then
    "${pg_as_server_user[@]}" "$pg_bindir/pg_ctl" -D "$pg_work/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  if [ "$status" -ne 0 ] && [ -f "$pg_work/server.log" ]; then
    echo "--- server log ---" >&2
    tail -n 30 "$pg_work/server.log" >&2 || true
  fi
  rm -rf "$pg_work"
  exit "$status"
}

pg_start() {
  if ! pg_bindir=$(pg_find_bindir); then
    [ "${CI:-}" = true ] && fail "no PostgreSQL server binaries found (CI=true: not skipping)"
    echo "SKIP: no PostgreSQL server binaries found (set KEL_PG_BINDIR)"
    exit 77
  fi
  local psql_bin=$pg_bindir/psql
  [ -x "$psql_bin" ] || psql_bin=$(command -v psql) || fail "psql not found"

  pg_as_server_user=()
  local server_user=
  if [ "$(id -u)" -eq 0 ]; then
    server_user=${KEL_PG_USER:-nobody}
    id "$server_user" >/dev/null 2>&1 || fail "user $server_user does not exist (set KEL_PG_USER)"
    if command -v runuser >/dev/null; then
      pg_as_server_user=(runuser -u "$server_user" --)
    else
      pg_as_server_user=(setpriv --reuid="$server_user" --regid="$(id -g "$server_user")" --init-groups --)
    fi
  fi

  # /tmp rather than TMPDIR: the socket path must stay short and reachable by
  # the server user.
  pg_work=$(mktemp -d "${KEL_PG_PARENT:-/tmp}/kelpg.XXXXXX")
  pg_started=0
  trap pg_cleanup EXIT
  trap 'exit 130' INT TERM
  [ -z "$server_user" ] || chown "$server_user" "$pg_work"

  "${pg_as_server_user[@]}" "$pg_bindir/initdb" -D "$pg_work/data" -U kel --auth=trust -E UTF8 --no-locale \
    >"$pg_work/initdb.log" 2>&1 || { cat "$pg_work/initdb.log" >&2; fail "initdb"; }
  pg_started=1
  "${pg_as_server_user[@]}" "$pg_bindir/pg_ctl" -D "$pg_work/data" -l "$pg_work/server.log" -w -t 60 \
    -o "-c listen_addresses='' -k $pg_work -p 5432 -c fsync=off" start >/dev/null || fail "the server did not start"

  psql=("$psql_bin" -X -q -v ON_ERROR_STOP=1 -h "$pg_work" -p 5432 -U kel -d postgres)
}

# Starts the server and creates in it the schema that `edsutil sql --script`
# generates (edsutil being $1). The socket's directory is opened to this
# user's programs (the server user owns it). With "durable" as $2, the test
# server's fsync=off is undone, for commits that cost what they cost in
# production.
pg_start_schema() {
  local edsutil=$1 durable=${2:-}
  pg_start
  "$edsutil" sql --script -o "$pg_work/schema.sql" || fail "edsutil sql failed"
  "${psql[@]}" -1 -f "$pg_work/schema.sql" || fail "the generated schema did not run"
  chmod 755 "$pg_work"
  if [ "$durable" = durable ]; then
    "${psql[@]}" -c "ALTER SYSTEM SET fsync = on" -c "SELECT pg_reload_conf()" >/dev/null
  fi
}

# Runs one query and prints its rows unaligned, without headings.
pg_query() { "${psql[@]}" -A -t -c "$1"; }
