#!/usr/bin/env bash
# The demo run by edsutil.exe under wine writes the same files, with the same
# bytes, as the Linux build's edsutil, and prints the same report: the same
# inputs give the same results on both systems. The uuids are fresh on every
# run, so each is replaced by its order of first appearance before comparing.
#   demo_identical_test.sh LINUX_EDSUTIL WINE EDSUTIL_EXE
set -euo pipefail
linux=$1 wine=$2 windows=$3
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
mkdir "$work/linux" "$work/windows"
(cd "$work/linux" && "$linux" demo out >report.txt 2>&1)
(cd "$work/windows" && "$wine" "$windows" demo out >report.txt 2>&1)

# Numbers the uuids of every file of one run in the order they first appear
# (across the files in name order), so that both runs can be compared.
normalize() {
  local dir=$1
  (cd "$dir" && LC_ALL=C find out -type f | LC_ALL=C sort | while read -r f; do printf '=== %s\n' "$f"; cat "$f"; done
   printf '=== report\n'; cat report.txt) |
    perl -pe 'BEGIN { our %n; our $k = 0 }
              s/\b([0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{12})\b/
                "UUID-" . ($n{lc $1} \/\/= ++$k)/ge'
}
normalize "$work/linux" >"$work/linux.txt"
normalize "$work/windows" >"$work/windows.txt"
count=$(find "$work/linux/out" -type f | wc -l)
[ "$count" -gt 0 ] || { echo "FAIL: the Linux demo wrote nothing" >&2; exit 1; }
if ! cmp -s "$work/linux.txt" "$work/windows.txt"; then
  echo "FAIL: the demo's files differ between Linux and Windows:" >&2
  diff "$work/linux.txt" "$work/windows.txt" | head -40 >&2
  exit 1
fi
echo "ok: $count files and the report identical on Linux and Windows"
