#!/usr/bin/env bash
# The shared library exports the metadata tool, the DOM wrapper, the job
# document and the resolver's adaptor factory, and hides the dictionary
# classes and the resolver behind them.
set -euo pipefail
library=$1
symbols=$(nm -DC --defined-only "$library")
for wanted in 'KelEdsMetadataTool::GenerateSQLStatements' 'KelEdsDomParser::LoadStream' \
              'KelEdsXMLParser::GetJobInput' 'CreateTIEKelISAXEntityResolverKelEEdsSAXEntityResolver('; do
  if ! grep -qF "$wanted" <<<"$symbols"; then
    echo "FAIL: $wanted is not exported from $library" >&2
    exit 1
  fi
done
leaked=$(grep -E 'KelEdsMetadata(Dict|Table|Document)::|for KelEdsMetadata(Dict|Table)$|KelEdsSchema|KelEEdsSAXEntityResolver::' \
         <<<"$symbols" || true)
if [ -n "$leaked" ]; then
  printf 'FAIL: internal symbols exported from %s:\n%s\n' "$library" "$leaked" >&2
  exit 1
fi
echo "ok: only the exported classes are visible"
