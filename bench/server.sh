#!/usr/bin/env bash
# The job server against raw libpq (bench_server) on a private PostgreSQL
# holding the generated schema, or on the database KEL_BENCH_PG names.
#
#   bench/server.sh [BUILD_DIR] [N] [REPETITIONS]    (build-bench, 1000, 7)
#
# Writes bench/results/server.txt. Also run at the end of bench/run.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD_DIR=${1:-build-bench}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEL_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" -j2 bench_server edsutil >/dev/null
mkdir -p bench/results
if [ -z "${KEL_BENCH_PG:-}" ]; then
  # shellcheck source=../tests/support/postgres_server.sh
  source tests/support/postgres_server.sh
  pg_start_schema "$BUILD_DIR/bin/edsutil" durable
  export KEL_BENCH_PG="host=$pg_work port=5432 user=kel dbname=postgres"
fi
{
  echo "date: $(date -u +%Y-%m-%dT%H:%MZ), load: $(cut -d' ' -f1-3 /proc/loadavg)"
  "$BUILD_DIR/bin/bench_server" "${2:-1000}" "${3:-7}"
} | tee bench/results/server.txt
