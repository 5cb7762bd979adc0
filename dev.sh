#!/usr/bin/env bash
# Sets up a Debian 12 machine for KelEdsUtil, builds it, and runs the main job
# or the tests.
#
#   ./dev.sh run     install what is missing, build, run the main job: 'edsutil demo'
#                    into a fresh $BUILD_DIR/demo (removed first when it exists)
#   ./dev.sh test    install what is missing, build, run every test
#   ./dev.sh build   install what is missing and build
#
# Environment: BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo),
# KEL_SANITIZE=1 for a second build with AddressSanitizer and UBSan (test only).
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
  postgresql graphviz
)

log() { printf '==> %s\n' "$*" >&2; }

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
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
    ;;
  test)
    install_packages
    build "$BUILD_DIR" -DKEL_WERROR=ON
    run_tests "$BUILD_DIR"
    if [ "${KEL_SANITIZE:-0}" = 1 ]; then
      build "$BUILD_DIR-asan" -DKEL_WERROR=ON -DKEL_SANITIZE=ON -DKEL_BUILD_BENCHMARKS=OFF
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$BUILD_DIR-asan"
    fi
    ;;
  *)
    echo "usage: $0 run|test|build" >&2
    exit 2
    ;;
esac
