#!/usr/bin/env bash
# The shared library exports the metadata tool and hides the dictionary
# classes behind it.
set -euo pipefail
library=$1
symbols=$(nm -DC --defined-only "$library")
if ! grep -q 'KelEdsMetadataTool::GenerateSQLStatements' <<<"$symbols"; then
  echo "FAIL: KelEdsMetadataTool is not exported from $library" >&2
  exit 1
fi
leaked=$(grep -E 'KelEdsMetadata(Dict|Table)::|for KelEdsMetadata(Dict|Table)$|KelEdsSchema' <<<"$symbols" || true)
if [ -n "$leaked" ]; then
  printf 'FAIL: internal symbols exported from %s:\n%s\n' "$library" "$leaked" >&2
  exit 1
fi
echo "ok: only the tool is exported"
