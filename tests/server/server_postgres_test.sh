#!/usr/bin/env bash
# Runs the job server's tests on a throwaway PostgreSQL holding the generated
# schema.
#
#   server_postgres_test.sh <edsutil> <test program> [gtest arguments...]
#
# The server comes from tests/support/postgres_server.sh: private, on a Unix
# socket only, removed on every exit; skipped (77) without server binaries,
# except under CI=true.
set -euo pipefail

edsutil=${1:?usage: $0 <edsutil> <test program>}
program=${2:?usage: $0 <edsutil> <test program>}
shift 2
# shellcheck source=../support/postgres_server.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/postgres_server.sh"

pg_start_schema "$edsutil"

KEL_TEST_PG="host=$pg_work port=5432 user=kel dbname=postgres options=-cclient_min_messages=warning" KEL_TEST=1 "$program" "$@"
