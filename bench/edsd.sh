#!/usr/bin/env bash
# edsd under 1, 4 and 16 concurrent clients against the same documents
# answered in process, in one run: documents of 10 creates (Work_Package),
# sent by edsd_client over loopback HTTP with kept-alive connections, then
# answered by KelEdsServer in the client's process (the engine of edsutil
# exec, one pool connection per client); and, for one client, by `edsutil
# exec`, a process per document (connect, schema, answer). A private
# PostgreSQL with fsync=on, or the database KEL_BENCH_PG names.
#
#   bench/edsd.sh [BUILD_DIR] [DOCS_PER_CLIENT]    (build-bench, 200)
#
# Writes bench/results/edsd.txt and docs/edsd.svg (bench/plot_edsd.py).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD_DIR=${1:-build-bench}
docs=${2:-200}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEL_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" -j2 edsd edsd_client edsutil >/dev/null
bin=$BUILD_DIR/bin
mkdir -p bench/results
if [ -z "${KEL_BENCH_PG:-}" ]; then
  # shellcheck source=../tests/support/postgres_server.sh
  source tests/support/postgres_server.sh
  pg_start_schema "$bin/edsutil" durable
  export KEL_BENCH_PG="host=$pg_work port=5432 user=kel dbname=postgres"
  scratch=$pg_work
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi
port=$((20000 + RANDOM % 20000))
"$bin/edsd" --db "$KEL_BENCH_PG" --listen "127.0.0.1:$port" --workers 20 --log "$scratch/edsd.log" &
edsd_pid=$!
trap 'kill -TERM $edsd_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

field() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p"; }
out=bench/results/edsd.txt
{
  echo "date: $(date -u +%Y-%m-%dT%H:%MZ), load: $(cut -d' ' -f1-3 /proc/loadavg), documents of 10 creates, $docs per client"
  printf '%-8s %-10s %10s %9s %9s\n' clients road docs/s p50_ms p99_ms
  for clients in 1 4 16; do
    for road in edsd inprocess; do
      if [ $road = edsd ]; then
        line=$("$bin/edsd_client" load "http://127.0.0.1:$port" --clients $clients --docs "$docs" --jobs 10 --tag "H$clients")
      else
        line=$("$bin/edsd_client" load - --inprocess "$KEL_BENCH_PG" --clients $clients --docs "$docs" --jobs 10 --tag "I$clients")
      fi
      [ "$(echo "$line" | field ok)" = $((clients * docs)) ] || { echo "not every document answered: $line" >&2; exit 1; }
      printf '%-8s %-10s %10s %9s %9s\n' $clients $road "$(echo "$line" | field docs_per_s)" \
        "$(echo "$line" | field p50_ms)" "$(echo "$line" | field p99_ms)"
    done
  done
  # edsutil exec: a process per document, one at a time.
  n=$((docs / 4 > 10 ? docs / 4 : 10))
  for i in $(seq "$n"); do "$bin/edsd_client" doc "E-0-$i" 10 >"$scratch/e$i.xml"; done
  start=$(date +%s.%N)
  for i in $(seq "$n"); do "$bin/edsutil" exec --db "$KEL_BENCH_PG" "$scratch/e$i.xml" >/dev/null; done
  end=$(date +%s.%N)
  awk -v n="$n" -v s="$start" -v e="$end" 'BEGIN { printf "%-8s %-10s %10.1f %9.2f %9s\n", 1, "exec", n / (e - s), 1000 * (e - s) / n, "-" }'
} | tee "$out"
python3 bench/plot_edsd.py "$out" docs/edsd.svg
