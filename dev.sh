#!/usr/bin/env bash
# Sets up a Debian 12 machine for KelEdsUtil, builds it, and runs the main job
# or the tests.
#
#   ./dev.sh run     install what is missing, build, run the main job: 'edsutil demo'
#                    into a fresh $BUILD_DIR/demo (removed first when it exists), then
#                    the real road on PostgreSQL into $BUILD_DIR/demo/server
#                    (tools/server-demo/run.sh: a private cluster, the job server)
#   ./dev.sh test    install what is missing, build, run every test
#   ./dev.sh build   install what is missing and build
#   ./dev.sh fuzz    install clang, build the fuzzers and run each (fuzz/run.sh)
#
# Environment: BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo),
# KEL_SANITIZE=1 for a second build with AddressSanitizer and UBSan that runs
# every test again (test only; any sanitizer report or leak fails the test),
# KEL_VALGRIND=1 to run the test programs under valgrind too (test only),
# FUZZ_SECONDS (default 60) per fuzzer, FUZZ_SEED (default 1; 0 for a fresh one).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
JOBS=${JOBS:-$(nproc)}

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libxml2-dev libxml2-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libpugixml-dev uuid-dev
  postgresql libpq-dev graphviz
)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
VALGRIND_PACKAGES=(valgrind)

log() { printf '==> [%ds] %s\n' "$SECONDS" "$*" >&2; }

# Installs what is missing of PACKAGES and of the lists named as arguments.
install_packages() {
  local wanted=("${PACKAGES[@]}") list
  for list in "$@"; do
    local -n extra=$list
    wanted+=("${extra[@]}")
  done
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build() {
  local dir=$1
  shift
  log "configuring $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" "$@" >/dev/null
  log "building $dir"
  cmake --build "$dir" --parallel "$JOBS"
}

run_tests() {
  local dir=$1
  log "testing $dir"
  ctest --test-dir "$dir" --output-on-failure --parallel "$JOBS" --timeout 600
}

cmd=${1:-}
case "$cmd" in
  build)
    install_packages
    build "$BUILD_DIR"
    ;;
  run)
    install_packages
    build "$BUILD_DIR"
    demo_dir="$BUILD_DIR/demo"
    rm -rf -- "$demo_dir"
    log "running the main job: edsutil demo $demo_dir"
    "$BUILD_DIR/bin/edsutil" demo "$demo_dir"
    log "running the job server on a private PostgreSQL: tools/server-demo/run.sh into $demo_dir/server"
    tools/server-demo/run.sh "$BUILD_DIR/bin/edsutil" "$demo_dir/server"
    ;;
  test)
    extras=()
    [ "${KEL_VALGRIND:-0}" = 1 ] && extras+=(VALGRIND_PACKAGES)
    install_packages "${extras[@]}"
    build "$BUILD_DIR" -DKEL_WERROR=ON
    run_tests "$BUILD_DIR"
    if [ "${KEL_SANITIZE:-0}" = 1 ]; then
      build "$BUILD_DIR-asan" -DKEL_WERROR=ON -DKEL_SANITIZE=ON -DKEL_BUILD_BENCHMARKS=OFF
      # Every report ends its process with a failure status, leaks included.
      ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:check_initialization_order=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$BUILD_DIR-asan"
    fi
    if [ "${KEL_VALGRIND:-0}" = 1 ]; then
      log "valgrind over the test programs of $BUILD_DIR"
      tests/valgrind.sh "$BUILD_DIR"
    fi
    ;;
  fuzz)
    install_packages FUZZ_PACKAGES
    log "fuzzing, ${FUZZ_SECONDS:-60}s per target"
    FUZZ_BUILD_DIR="$BUILD_DIR-fuzz" JOBS=$JOBS fuzz/run.sh
    ;;
  *)
    echo "usage: $0 run|test|build|fuzz" >&2
    exit 2
    ;;
esac
