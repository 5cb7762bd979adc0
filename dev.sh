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
#   ./dev.sh windows install mingw-w64 and wine, cross-build the Windows x64 DLLs,
#                    edsutil.exe and the tests into build-win64 (libxml2 and
#                    GoogleTest built from Debian's sources once per build tree),
#                    then run the tests under wine64
#
# Environment: BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo),
# KEL_SANITIZE=1 for a second build with AddressSanitizer and UBSan that runs
# every test again (test only; any sanitizer report or leak fails the test),
# KEL_VALGRIND=1 to run the test programs under valgrind too (test only),
# FUZZ_SECONDS (default 60) per fuzzer, FUZZ_SEED (default 1; 0 for a fresh one),
# WIN_BUILD_DIR (default build-win64), WIN_TESTS=0 to build for Windows only.
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
  libcpp-httplib-dev libssl-dev openssl
)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
VALGRIND_PACKAGES=(valgrind)
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 dpkg-dev)

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
  shift
  log "testing $dir"
  ctest --test-dir "$dir" --output-on-failure --parallel "$JOBS" --timeout 600 "$@"
}

# The Windows build: libxml2 from the source package of the Debian release
# this machine runs (the same version and patches as the Linux build's), and
# GoogleTest from the sources that libgtest-dev ships (CLI11's headers copied
# from libcli11-dev); each built once into
# $WIN_BUILD_DIR/deps and reused.
windows_deps() {
  local dir=$1 deps=$1/deps toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
  mkdir -p "$deps"
  # LIBXML_STATIC: libxml2's functions are not exported from the DLL it is
  # linked into. The stamp holds the options, so that a change rebuilds it.
  local xml_options=(-DBUILD_SHARED_LIBS=OFF -DCMAKE_C_FLAGS=-DLIBXML_STATIC
    -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF
    -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF
    -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF)
  if [ "$(cat "$deps/libxml2.stamp" 2>/dev/null)" != "${xml_options[*]}" ]; then
    if ! apt-get source --print-uris libxml2 >/dev/null 2>&1; then
      local sudo=()
      [ "$(id -u)" -eq 0 ] || sudo=(sudo)
      local codename
      codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
      log "adding the deb-src entries of $codename"
      "${sudo[@]}" tee /etc/apt/sources.list.d/kel-deb-src.sources >/dev/null <<EOF_SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF_SRC
      "${sudo[@]}" apt-get update -qq
    fi
    local src
    src=$(find "$deps/src" -maxdepth 1 -type d -name 'libxml2-*' 2>/dev/null | head -n 1 || true)
    if [ -z "$src" ]; then
      log "fetching libxml2's Debian source"
      rm -rf "$deps/src" && mkdir -p "$deps/src"
      (cd "$deps/src" && apt-get source -qq libxml2 >/dev/null 2>&1)
      src=$(find "$deps/src" -maxdepth 1 -type d -name 'libxml2-*' | head -n 1)
    fi
    [ -n "$src" ] || { echo "apt-get source libxml2 failed" >&2; exit 1; }
    log "building libxml2 for Windows (static, no network, no iconv)"
    rm -rf "$deps/libxml2-build"
    cmake -S "$src" -B "$deps/libxml2-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" "${xml_options[@]}" >/dev/null
    cmake --build "$deps/libxml2-build" --parallel "$JOBS" >/dev/null
    cmake --install "$deps/libxml2-build" >/dev/null
    echo "${xml_options[*]}" >"$deps/libxml2.stamp"
  fi
  if [ ! -f "$deps/gtest.stamp" ]; then
    log "building GoogleTest for Windows"
    cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF \
      -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$deps/gtest-build" --parallel "$JOBS" >/dev/null
    cmake --install "$deps/gtest-build" >/dev/null
    touch "$deps/gtest.stamp"
  fi
  # CLI11 is headers only: libcli11-dev's copy, beside the other Windows
  # dependencies (the Linux headers around it are not for the cross compiler).
  if [ ! -f "$deps/cli11.stamp" ]; then
    mkdir -p "$deps/include" "$deps/share/cmake"
    cp -r /usr/include/CLI "$deps/include/"
    cp -r /usr/share/cmake/CLI11 "$deps/share/cmake/"
    touch "$deps/cli11.stamp"
  fi
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
  windows)
    install_packages WINDOWS_PACKAGES
    win_dir=$(realpath -m "${WIN_BUILD_DIR:-build-win64}")
    windows_deps "$win_dir"
    # Release without debug information: the tests run the same code, and
    # the build stays quick enough for every CI run. The demo and the DLLs'
    # exports are compared with the Linux build when there is one.
    linux_build=()
    [ -x "$BUILD_DIR/bin/edsutil" ] && linux_build=(-DKEL_LINUX_BUILD="$(realpath "$BUILD_DIR")")
    BUILD_TYPE=${WIN_BUILD_TYPE:-Release} build "$win_dir" -DKEL_WERROR=ON -DKEL_BUILD_BENCHMARKS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DKEL_WINDOWS_DEPS="$win_dir/deps" \
      "${linux_build[@]}"
    if [ "${WIN_TESTS:-1}" = 1 ]; then
      # One wine prefix and one wine server for the whole run, with wine's own
      # services started here rather than under ctest (which would wait for
      # them to close its output pipes).
      export WINEPREFIX=${WINEPREFIX:-$win_dir/wine} WINEDEBUG=${WINEDEBUG:--all}
      wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
      wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
      log "starting wine in $WINEPREFIX"
      "$wine" wineboot >"$win_dir/wineboot.log" 2>&1 </dev/null || true
      "$wineserver" -p || true
      status=0
      # Under wine a test process now and then fails to start its runtime
      # (wine's own services, under load); such a test is run once more. A
      # test that fails twice fails the stage.
      run_tests "$win_dir" --repeat until-pass:2 || status=$?
      "$wineserver" -k || true
      exit $status
    fi
    ;;
  *)
    echo "usage: $0 run|test|build|fuzz|windows" >&2
    exit 2
    ;;
esac
