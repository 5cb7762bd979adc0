// What must not get slower as the job documents get faster: a job document
// read from a file (with and without validation against its DTD) and written
// to one, and the metadata dictionary document (a document type, written to
// a file). Each case works in a directory of its own under the system's
// temporary directory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "KelEdsMetadataTool.h"
#include "KelEdsXMLParser.h"

namespace {

namespace fs = std::filesystem;

constexpr int kJobs = 1000;

struct Scratch {
  fs::path dir;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "kel-bench-documents-XXXXXX").string();
    dir = mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::temp_directory_path();
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string File(const char* name) const { return (dir / name).string(); }
};

// A request of kJobs jobs with three inputs each, written to `path`.
bool WriteRequest(const std::string& path) {
  KelEdsXMLParser parser;
  if (parser.Init("Integration", "1.0") < 0) return false;
  for (int job = 0; job < kJobs; ++job) {
    const KelUnicodeString id(("J" + std::to_string(job)).c_str());
    if (parser.AppendJobDefinition(id, "create", "EDB_Cable") < 0) return false;
    for (int input = 0; input < 3; ++input) {
      const std::string name = "attribute" + std::to_string(input);
      if (parser.InsertJobInput(id, name.c_str(), ("value " + std::to_string(job)).c_str(), "string") < 0)
        return false;
    }
  }
  return parser.GenerateFile(path.c_str()) >= 0;
}

// The request with a document type naming the job DTD, for a validated load.
bool AddDocumentType(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t end = text.find("?>\n");
  if (end == std::string::npos) return false;
  text.insert(end + 3, "<!DOCTYPE Integration SYSTEM \"" KEL_DTD_DIR "/KelEdsJobs.dtd\">\n");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

void LoadFile(benchmark::State& state, unsigned char validate) {
  Scratch scratch;
  const std::string path = scratch.File("request.xml");
  if (!WriteRequest(path) || (validate != 0 && !AddDocumentType(path))) {
    return state.SkipWithError("the request could not be written");
  }
  for (auto _ : state) {
    KelEdsXMLParser parser;
    if (parser.LoadFile(path.c_str(), validate) < 0) return state.SkipWithError("the request did not load");
  }
  state.counters["per_job_us"] =
      benchmark::Counter(kJobs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_LoadFile(benchmark::State& state) { LoadFile(state, 0); }
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

void BM_LoadFileValidated(benchmark::State& state) { LoadFile(state, 1); }
BENCHMARK(BM_LoadFileValidated)->Unit(benchmark::kMillisecond);

void BM_GenerateFile(benchmark::State& state) {
  Scratch scratch;
  const std::string source = scratch.File("request.xml");
  const std::string target = scratch.File("written.xml");
  if (!WriteRequest(source)) return state.SkipWithError("the request could not be written");
  KelEdsXMLParser parser;
  if (parser.LoadFile(source.c_str(), 0) < 0) return state.SkipWithError("the request did not load");
  for (auto _ : state) {
    if (parser.GenerateFile(target.c_str()) < 0) return state.SkipWithError("the request was not written");
  }
}
BENCHMARK(BM_GenerateFile)->Unit(benchmark::kMillisecond);

void BM_MetadataDocument(benchmark::State& state) {
  Scratch scratch;
  const std::string uuids = scratch.File("uuids.txt");
  {
    std::ofstream out(uuids);
    for (int i = 0; i < 200; ++i) {
      char uuid[64];
      std::snprintf(uuid, sizeof uuid, "%08X-2222-3333-4444-555555555555", i);
      out << "INTERFACENAME = { /* " << uuid << " */\n";
    }
  }
  const std::string output = scratch.File("metadata.xml");
  KelEdsMetadataTool tool;
  // The generation prints a summary; it goes nowhere while timed.
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int quiet = open("/dev/null", O_WRONLY);
  if (quiet >= 0) dup2(quiet, STDOUT_FILENO);
  bool written = true;
  for (auto _ : state) {
    if (tool.GenerateNorvaleMetaData(uuids.c_str(), {}, {}, output.c_str()) < 0) {
      written = false;
      break;
    }
  }
  std::fflush(stdout);
  if (saved >= 0) dup2(saved, STDOUT_FILENO);
  if (quiet >= 0) close(quiet);
  if (saved >= 0) close(saved);
  if (!written) state.SkipWithError("the metadata document was not written");
}
BENCHMARK(BM_MetadataDocument)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
