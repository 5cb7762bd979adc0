#!/usr/bin/env bash
# Runs every GoogleTest program of a plain (not sanitized) build under
# valgrind's memcheck: any invalid access, use of uninitialised memory or
# leak (definite, indirect or possible) fails the run. Child processes that
# the tests start (edsutil, the probe) are not traced; the sanitized build
# covers them.
#
#   tests/valgrind.sh [BUILD_DIR]      (default: build)
#
# Also `KEL_VALGRIND=1 ./dev.sh test` (as CI runs it). About a minute.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

status=0
for program in "$build"/bin/kel_*_tests; do
  name=$(basename "$program")
  start=$SECONDS
  memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
    --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible
    --child-silent-after-fork=yes --log-file="$logs/$name.log")
  # The job server's tests need a database: the test's own script starts one
  # and runs the program under memcheck (77: no server binaries here).
  runner=()
  [ "$name" = kel_server_tests ] && runner=(bash tests/server/server_postgres_test.sh "$build/bin/edsutil")
  set +e
  KEL_TEST=1 "${runner[@]}" "${memcheck[@]}" "$program" >"$logs/$name.out" 2>&1
  code=$?
  set -e
  if [ "$code" -eq 77 ]; then
    echo "==> $name: skipped, no PostgreSQL server binaries"
    continue
  fi
  if [ "$code" -eq 0 ]; then
    echo "==> $name: clean ($((SECONDS - start)) s)"
  else
    status=1
    echo "==> $name: FAILED ($((SECONDS - start)) s)"
    tail -n 30 "$logs/$name.out"
    cat "$logs/$name.log"
  fi
  grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost' "$logs/$name.log" | sed 's/^==[0-9]*== /    /'
done
exit $status
