// Prints the SQL statements that create the cable-routing database, one per
// line, as KelEdsMetadataTool generates them (each between double quotes).
// Used by the PostgreSQL integration test; links the shared library as a
// host would.
#include <cstdio>

#include "KelEdsMetadataTool.h"

int main() {
  KelEdsMetadataTool tool;
  KelListValKelUnicodeString statements;
  const long result = tool.GenerateSQLStatements(statements);
  if (result < 0) {
    std::fprintf(stderr, "GenerateSQLStatements failed: %ld\n", result);
    return 1;
  }
  for (const KelUnicodeString& statement : statements) std::printf("%s\n", statement.ConvertToChar());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
