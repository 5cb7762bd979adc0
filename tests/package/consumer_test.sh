#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a
# consumer against it twice: through find_package and through pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
# The consumer validates a job document against the installed DTD.
export KelDictionaryPath="$work/prefix/share/KelEdsUtil/dtd"

cmake -S "$source_dir/tests/package/consumer" -B "$work/consumer" -G Ninja \
      -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
# shellcheck disable=SC2046
c++ -std=c++17 "$source_dir/tests/package/consumer/main.cpp" -o "$work/pkgconfig-consumer" \
    $(pkg-config --cflags --libs KelEdsUtil)
"$work/pkgconfig-consumer"

# Only what is meant to be exported is visible.
lib=$(find "$work/prefix" -name 'libKelEdsUtil.so' | head -n 1)
if nm -D --defined-only "$lib" | grep -q ' T .*kel_detail'; then
  echo "internal symbols leaked from $lib" >&2
  exit 1
fi
