#!/usr/bin/env bash
# Measures how the library meets hostile and very large documents, each in a
# process of its own (kel_reliability_probe): result code, time and peak
# memory. Too slow and too large for the unit suite; run by hand on a plain
# (not sanitized) build and copy the table into docs/RELIABILITY.md.
#
#   tests/reliability/measure_limits.sh [BUILD_DIR]      (default: build)
#
# LARGE_MB (default 200) sets the size of the large job document.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
build=${1:-build}
probe=$build/bin/kel_reliability_probe
[ -x "$probe" ] || { echo "no $probe: build first" >&2; exit 2; }
large_mb=${LARGE_MB:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for kind in laughs blowup deep; do "$probe" make-hostile "$kind" "$work/$kind.xml" >/dev/null; done
"$probe" make-jobs $((large_mb * 1000 * 1000)) "$work/large.xml" >/dev/null
xmllint --noout "$work/large.xml" 2>/dev/null || { echo "the large document is not well-formed" >&2; exit 1; }

# One row per step: document, input size, operation, result code, seconds, peak memory.
printf '%-8s %10s  %-16s %12s %9s %10s\n' document "input MB" operation code seconds "peak MB"
measure() {
  local name=$1 mode=$2 file=$3 out
  out=$("$probe" "$mode" "$file")
  local peak
  peak=$(sed -n 's/^peak_rss_kb=//p' <<<"$out")
  local size
  size=$(stat -c %s "$file")
  grep ' code=' <<<"$out" | awk -v name="$name" -v size="$size" -v peak="$peak" '{
    sub("code=", "", $2); sub("seconds=", "", $3)
    printf "%-8s %10.1f  %-16s %12s %9s %10.0f\n", name, size / 1e6, $1, $2, $3, peak / 1024
  }'
}
for kind in laughs blowup deep; do
  measure "$kind" round-trip "$work/$kind.xml"
  measure "$kind" load-file "$work/$kind.xml"
done
measure large round-trip "$work/large.xml"
measure large load-file "$work/large.xml"
