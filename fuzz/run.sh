#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers, then runs each
# for FUZZ_SECONDS (default 60) from its seed corpus in fuzz/corpus/<name>,
# with fuzz/xml.dict or fuzz/uuid.dict where they apply. FUZZ_TARGETS (names
# without "fuzz_", blank-separated) picks some. A crash, a leak or a sanitizer
# report leaves its input in fuzz/artifacts/ and fails the run. One summary
# line per target: executions, new corpus entries, peak memory. The random
# seed is fixed (FUZZ_SEED, default 1) so that runs on one machine explore alike; set
# FUZZ_SEED=0 for a fresh seed each run, as long runs should.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${FUZZ_SECONDS:-60}
seed=${FUZZ_SEED:-1}
build=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKEL_BUILD_FUZZERS=ON -DKEL_BUILD_TESTS=OFF -DKEL_BUILD_BENCHMARKS=OFF >/dev/null
targets=()
for name in ${FUZZ_TARGETS:-effectivity blanks tokens load_stream load_file parse_roads write_roads uuid_file http_service}; do targets+=("fuzz_$name"); done
cmake --build "$build" --parallel "${JOBS:-$(nproc)}" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
mkdir -p fuzz/artifacts
status=0
for name in "${targets[@]}"; do
  short=${name#fuzz_}
  seeds=fuzz/corpus/$short
  corpus=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  dict=()
  case $short in
    load_* | parse_roads | write_roads | http_service) dict=(-dict=fuzz/xml.dict) ;;
    uuid_file) dict=(-dict=fuzz/uuid.dict) ;;
  esac
  echo "==> $name for ${seconds}s"
  if ! "$build/bin/$name" -max_total_time="$seconds" -seed="$seed" -rss_limit_mb=2048 -timeout=10 -max_len=65536 "${dict[@]}" \
        -artifact_prefix=fuzz/artifacts/"$name"- -print_final_stats=1 "$corpus" </dev/null 2>"$corpus.log"; then
    status=1
    tail -n 60 "$corpus.log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$corpus.log")
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$corpus.log")
  seeds_count=$(find "$seeds" -type f 2>/dev/null | wc -l)
  found=$(( $(find "$corpus" -type f | wc -l) - seeds_count ))
  echo "    $name: ${runs:-?} executions, $found new corpus entries, peak ${peak:-?} MB"
  rm -rf "$corpus" "$corpus.log"
done
exit $status
