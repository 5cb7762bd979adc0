#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers, then runs each
# for FUZZ_SECONDS (default 60) from its seed corpus. A crash leaves its input
# in fuzz/artifacts/ and fails the run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKEL_BUILD_FUZZERS=ON -DKEL_BUILD_TESTS=OFF -DKEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --parallel "${JOBS:-$(nproc)}"

mkdir -p fuzz/artifacts
status=0
for target in "$build"/bin/fuzz_*; do
  name=$(basename "$target")
  seeds=fuzz/corpus/${name#fuzz_}
  corpus=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "==> $name for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix=fuzz/artifacts/"$name"- -print_final_stats=1 "$corpus" 2>"$corpus.log"; then
    status=1
    tail -n 40 "$corpus.log"
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$corpus.log" | sed "s/^/    $name /" || true
  rm -rf "$corpus" "$corpus.log"
done
exit $status
