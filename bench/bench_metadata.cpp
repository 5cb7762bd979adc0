// What a host pays at every start: building the metadata tool (which loads
// the schema dictionary) and generating the SQL DDL from it.
#include <benchmark/benchmark.h>

#include "KelEdsMetadataTool.h"

namespace {

void BM_MetadataToolConstruction(benchmark::State& state) {
  for (auto _ : state) {
    KelEdsMetadataTool tool;
    benchmark::DoNotOptimize(&tool);
  }
}
BENCHMARK(BM_MetadataToolConstruction)->Unit(benchmark::kMicrosecond);

void BM_GenerateSQLStatements(benchmark::State& state) {
  KelEdsMetadataTool tool;
  for (auto _ : state) {
    KelListValKelUnicodeString statements;
    benchmark::DoNotOptimize(tool.GenerateSQLStatements(statements));
    if (statements.Size() != 59) state.SkipWithError("expected 59 statements");
  }
}
BENCHMARK(BM_GenerateSQLStatements)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
