#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a
# consumer against it twice: through find_package and through pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$2
# Flags the consumer needs to link the libraries as built (the sanitizer
# runtime must come first when the libraries are instrumented).
consumer_flags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/share/KelEdsUtil/dtd/Dictionary00.dtd" || { echo "Dictionary00.dtd not installed" >&2; exit 1; }
# The consumer validates a job document against the installed DTD.
export KelDictionaryPath="$work/prefix/share/KelEdsUtil/dtd"

cmake -S "$source_dir/tests/package/consumer" -B "$work/consumer" -G Ninja \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_FLAGS="$consumer_flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
# shellcheck disable=SC2046
# shellcheck disable=SC2086
c++ -std=c++17 $consumer_flags "$source_dir/tests/package/consumer/main.cpp" -o "$work/pkgconfig-consumer" \
    $(pkg-config --cflags --libs KelEdsUtil)
"$work/pkgconfig-consumer"

# Only what is meant to be exported is visible: no standard-library template
# code and no internal helper leaks out of the three libraries.
for name in JS0GROUP KelXMLParserItf KelEdsUtil; do
  lib=$(find "$work/prefix" -name "lib$name.so" | head -n 1)
  # The symbol's own name (not its argument types) must not be library code:
  # "std::f(...)", "T* std::f<...>(...)", internal "KelXml..." classes.
  leaked=$(nm -DC --defined-only "$lib" | cut -d' ' -f3- | sed 's/(.*//' \
           | grep -E '(^| )(std::|__gnu_cxx::|KelXml[A-Z])' || true)
  if [ -n "$leaked" ]; then
    printf 'symbols leaked from %s:\n%s\n' "$lib" "$leaked" >&2
    exit 1
  fi
done

# The command-line tool is installed with the library and finds it.
version=$("$work/prefix/bin/edsutil" --version) || { echo "installed edsutil does not run" >&2; exit 1; }
classes=$("$work/prefix/bin/edsutil" schema classes) || { echo "installed edsutil cannot query the schema" >&2; exit 1; }
[[ $version == "edsutil "* && $classes == *xq40718.Work_Package* ]] || { echo "installed edsutil: wrong output" >&2; exit 1; }

# Installed, edsutil validates against the installed DTDs, not the source tree's.
validated=$("$work/prefix/bin/edsutil" job new - | "$work/prefix/bin/edsutil" job validate -) ||
  { echo "installed edsutil cannot validate a job document" >&2; exit 1; }
[[ $validated == *"$work/prefix/share/KelEdsUtil/dtd/KelEdsJobs.dtd" ]] ||
  { echo "installed edsutil used another DTD: $validated" >&2; exit 1; }
"$work/prefix/bin/edsutil" demo "$work/demo" >/dev/null || { echo "installed edsutil demo failed" >&2; exit 1; }
