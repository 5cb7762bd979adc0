#!/usr/bin/env bash
# Each Windows DLL exports what the Linux build's shared object exports, and
# nothing else: no libxml2, no standard library templates, no internal class.
# Names are compared demangled, with the Windows x64 spellings of the same
# types put back (std::size_t is unsigned long long there, FILE is _iobuf).
# Left out: type information names and that of pointers (thrown as
# KelError*), which Linux exports and mingw-w64 does not need (it compares
# type information by the name kept inside it); and a Windows DLL exports
# the virtual table of each class it exports, which Linux may keep hidden.
#   dll_exports_test.sh LINUX_LIB_DIR WINDOWS_BIN_DIR
set -euo pipefail
linux=$1 windows=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
status=0
for library in JS0GROUP KelXMLParserItf KelEdsUtil; do
  nm -D --defined-only "$linux/lib$library.so" | awk '$2 != "A" {print $3}' | c++filt |
    sed 's/_IO_FILE\*/FILE*/g' | grep -v -e '^typeinfo name for ' -e '^typeinfo for .*\*$' | LC_ALL=C sort -u >"$work/linux"
  "$objdump" -p "$windows/$library.dll" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[ *[0-9]+\] / {print $NF; next} on {on = 0}' |
    c++filt | sed 's/unsigned long long/unsigned long/g; s/long long/long/g; s/_iobuf\*/FILE*/g' |
    grep -v -e '^typeinfo name for ' -e '^typeinfo for .*\*$' | LC_ALL=C sort -u >"$work/windows"
  # A virtual table is expected of a class whose members or type
  # information Linux exports.
  grep '^vtable for ' "$work/windows" | while read -r _ _ class; do
    if grep -q -x -F "typeinfo for $class" "$work/linux" || grep -q -F "$class::" "$work/linux"; then
      echo "vtable for $class"
    fi
  done >>"$work/linux"
  LC_ALL=C sort -u -o "$work/linux" "$work/linux"
  if [ ! -s "$work/windows" ]; then
    echo "FAIL: no exports read from $library.dll" >&2
    status=1
    continue
  fi
  if ! diff "$work/linux" "$work/windows" >"$work/diff"; then
    echo "FAIL: $library.dll and lib$library.so export different names (< Linux only, > Windows only):" >&2
    head -40 "$work/diff" >&2
    status=1
  else
    echo "ok: $library.dll exports the $(wc -l <"$work/windows") names of lib$library.so"
  fi
done
exit $status
