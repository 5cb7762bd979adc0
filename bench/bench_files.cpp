// What it costs to make a written file durable: one whole-file write through
// the platform's writer (temporary file, rename), with the two flushes to the
// disk (the file before its rename, the directory after) and without them.
// The directory is the working directory: run it on the disk that matters.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>

#include "KelFileSystemCalls.h"
#include "KelFileWriter.h"

namespace {

int NoFlush(int) { return 0; }

void BM_WholeFile(benchmark::State& state) {
  const bool durable = state.range(1) != 0;
  const std::string bytes(static_cast<std::size_t>(state.range(0)), 'x');
  const std::string path = "bench_files." + std::to_string(::getpid()) + ".tmp";
  const KelFileSystemCalls saved = KelGetFileSystemCalls();
  if (!durable) KelSetFileSystemCalls({saved.write, NoFlush, saved.rename, NoFlush});
  for (auto _ : state) {
    if (KelWriteWholeFile(path.c_str(), bytes.data(), bytes.size()) != 0) state.SkipWithError("write failed");
  }
  KelSetFileSystemCalls(saved);
  ::unlink(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  state.SetLabel(durable ? "fsync file and directory" : "no fsync");
}
BENCHMARK(BM_WholeFile)
    ->ArgNames({"bytes", "durable"})
    ->ArgsProduct({{4 << 10, 256 << 10, 4 << 20}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
