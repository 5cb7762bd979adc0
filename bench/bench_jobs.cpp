// Job documents at scale: the library's two roads (build a request, answer
// one) against the same work done directly with libxml2, and with pugixml as
// the speed limit of the field.
//
//   bench_jobs [Google Benchmark flags]   time per case and N (counter per_job),
//                                         on memory the process has touched before
//   bench_jobs --memory [--repeat=R] [--case=CASE] [N...]
//                                         peak memory and first-touch time:
//                                         every case (or CASE) runs R times (3),
//                                         each in a forked child that reports its
//                                         seconds, VmHWM and minor faults (pages
//                                         touched first); medians are printed
//   bench_jobs --run CASE N [TIMES]       one case in this process (for profilers)
//   bench_jobs --run-fresh CASE N [TIMES] the same with the allocator's defaults
//   bench_jobs --check                    the three implementations write the
//                                         same bytes (also checked at every start)
//
// Build: Init, N x AppendJobDefinition, N x M InsertJobInput, GenerateStream.
// Answer: LoadStream of the build's bytes, GetJobDefinition, GetJobInput for
// every job, M x InsertJobOutput per job, GenerateStream.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "KelEdsXMLParser.h"

namespace {

constexpr int kData = 10;  // inputs per job in a request, outputs per job in an answer
const std::vector<int> kSizes = {1000, 10000, 100000};

// --- The data of job `i` ---------------------------------------------------------

// A small text on the stack: a prefix and zero-padded numbers, each number
// preceded by its separator (snprintf would cost as much as a DOM call).
struct Text {
  char chars[48];
  std::size_t length = 0;
  explicit Text(const char* prefix) { Add(prefix); }
  Text& Add(const char* text) {
    while (*text != '\0' && length + 1 < sizeof chars) chars[length++] = *text++;
    chars[length] = '\0';
    return *this;
  }
  Text& Number(int value, int digits) {
    for (int k = digits - 1; k >= 0; --k, value /= 10)
      chars[length + static_cast<std::size_t>(k)] = char('0' + value % 10);
    length += static_cast<std::size_t>(digits);
    chars[length] = '\0';
    return *this;
  }
  operator const char*() const { return chars; }  // NOLINT(google-explicit-constructor)
};

Text JobId(int i) { return Text("JOB-").Number(i, 6); }
Text JobInput(int i) { return Text("route cable C").Number(i, 6); }
const char* const kJobType = "ROUTE";
Text InName(int j) { return Text("ATTR").Number(j, 2); }
Text InValue(int i, int j) { return Text("value-").Number(i, 6).Add("-").Number(j, 2); }
const char* const kInType = "String";
Text OutName(int j) { return Text("RESULT").Number(j, 2); }
Text OutValue(int i, int j) { return Text("result-").Number(i, 6).Add("-").Number(j, 2); }
const char* const kOutType = "Double";

// The request as GenerateStream writes it, made without any XML library: the
// answer cases start from these bytes.
std::string RequestBytes(int jobs) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Integration version=\"1.0\">";
  out.reserve(static_cast<std::size_t>(jobs) * 600);
  for (int i = 0; i < jobs; ++i) {
    out += "<EDB_Job EDB_Id=\"" + std::string(JobId(i)) + "\" EDB_Type=\"" + kJobType + "\" EDB_JobInput=\"" +
           std::string(JobInput(i)) + "\">";
    for (int j = 0; j < kData; ++j) {
      out += "<EDB_JobInData EDB_iAttrName=\"" + std::string(InName(j)) + "\" EDB_iAttrValue=\"" +
             std::string(InValue(i, j)) + "\" EDB_iAttrType=\"" + kInType + "\"/>";
    }
    out += "</EDB_Job>";
  }
  out += "</Integration>\n";
  return out;
}

// --- The library -------------------------------------------------------------------

// The host hands the library its own string type.
KelUnicodeString K(const Text& text) { return KelUnicodeString(text.chars); }

std::string Take(_SEQUENCE_octet* bytes) {
  std::string text = bytes != nullptr ? std::string(reinterpret_cast<char*>(bytes->_buffer), bytes->_length) : "";
  delete bytes;
  return text;
}

// Writes the parser's document once the work went well (`ok`); returns the
// bytes' length (the bytes themselves when `keep`).
std::size_t Written(KelEdsXMLParser& parser, bool ok, std::string* keep) {
  _SEQUENCE_octet* bytes = nullptr;
  ok &= parser.GenerateStream(&bytes) >= 0;
  if (!ok || bytes == nullptr) std::abort();
  const std::size_t length = bytes->_length;
  if (keep != nullptr) {
    *keep = Take(bytes);
  } else {
    delete bytes;
  }
  return length;
}

// Returns the written bytes' length (the bytes themselves when `keep`).
std::size_t LibraryBuild(int jobs, std::string* keep = nullptr) {
  KelEdsXMLParser parser;
  bool ok = parser.Init("Integration", "1.0") >= 0;
  for (int i = 0; i < jobs; ++i) ok &= parser.AppendJobDefinition(K(JobId(i)), kJobType, K(JobInput(i))) >= 0;
  for (int i = 0; i < jobs; ++i) {
    const KelUnicodeString id = K(JobId(i));
    for (int j = 0; j < kData; ++j) ok &= parser.InsertJobInput(id, K(InName(j)), K(InValue(i, j)), kInType) >= 0;
  }
  return Written(parser, ok, keep);
}

std::size_t LibraryAnswer(const _SEQUENCE_octet& request, std::string* keep = nullptr) {
  KelEdsXMLParser parser;
  bool ok = parser.LoadStream(&request, 0, nullptr) >= 0;
  KelListValKelUnicodeString ids, types, inputs;
  ok &= parser.GetJobDefinition(ids, types, inputs) >= 0;
  for (int k = 1; k <= ids.Size(); ++k) {
    KelListValKelUnicodeString names, values, kinds;
    ok &= parser.GetJobInput(ids[k], names, values, kinds) >= 0 && names.Size() == kData;
    for (int j = 0; j < kData; ++j)
      ok &= parser.InsertJobOutput(ids[k], K(OutName(j)), K(OutValue(k - 1, j)), kOutType) >= 0;
  }
  return Written(parser, ok, keep);
}

// --- libxml2 directly ----------------------------------------------------------------

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

std::string Prop(xmlNodePtr node, const char* name) {
  xmlChar* value = xmlGetProp(node, X(name));
  std::string text = value != nullptr ? reinterpret_cast<char*>(value) : "";
  xmlFree(value);
  return text;
}

std::size_t Dump(xmlDocPtr doc, std::string* keep) {
  xmlChar* out = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc, &out, &size, "UTF-8");
  if (out == nullptr) std::abort();
  if (keep != nullptr) keep->assign(reinterpret_cast<char*>(out), static_cast<std::size_t>(size));
  xmlFree(out);
  xmlFreeDoc(doc);
  return static_cast<std::size_t>(size);
}

std::size_t Libxml2Build(int jobs, std::string* keep = nullptr) {
  xmlDocPtr doc = xmlNewDoc(X("1.0"));
  xmlNodePtr root = xmlNewDocNode(doc, nullptr, X("Integration"), nullptr);
  xmlDocSetRootElement(doc, root);
  xmlSetProp(root, X("version"), X("1.0"));
  std::vector<xmlNodePtr> nodes(static_cast<std::size_t>(jobs));
  for (int i = 0; i < jobs; ++i) {
    xmlNodePtr job = xmlNewDocNode(doc, nullptr, X("EDB_Job"), nullptr);
    xmlSetProp(job, X("EDB_Id"), X(JobId(i)));
    xmlSetProp(job, X("EDB_Type"), X(kJobType));
    xmlSetProp(job, X("EDB_JobInput"), X(JobInput(i)));
    nodes[static_cast<std::size_t>(i)] = xmlAddChild(root, job);
  }
  for (int i = 0; i < jobs; ++i) {
    for (int j = 0; j < kData; ++j) {
      xmlNodePtr data = xmlNewDocNode(doc, nullptr, X("EDB_JobInData"), nullptr);
      xmlSetProp(data, X("EDB_iAttrName"), X(InName(j)));
      xmlSetProp(data, X("EDB_iAttrValue"), X(InValue(i, j)));
      xmlSetProp(data, X("EDB_iAttrType"), X(kInType));
      xmlAddChild(nodes[static_cast<std::size_t>(i)], data);
    }
  }
  return Dump(doc, keep);
}

std::size_t Libxml2Answer(const std::string& request, std::string* keep = nullptr) {
  xmlDocPtr doc = xmlReadMemory(request.data(), static_cast<int>(request.size()), nullptr, nullptr, XML_PARSE_NONET);
  if (doc == nullptr) std::abort();
  std::vector<std::string> ids, types, inputs;
  int k = 0;
  for (xmlNodePtr job = xmlDocGetRootElement(doc)->children; job != nullptr; job = job->next) {
    if (job->type != XML_ELEMENT_NODE || !xmlStrEqual(job->name, X("EDB_Job"))) continue;
    ids.push_back(Prop(job, "EDB_Id"));
    types.push_back(Prop(job, "EDB_Type"));
    inputs.push_back(Prop(job, "EDB_JobInput"));
    std::vector<std::string> names, values, kinds;
    for (xmlNodePtr data = job->children; data != nullptr; data = data->next) {
      if (data->type != XML_ELEMENT_NODE || !xmlStrEqual(data->name, X("EDB_JobInData"))) continue;
      names.push_back(Prop(data, "EDB_iAttrName"));
      values.push_back(Prop(data, "EDB_iAttrValue"));
      kinds.push_back(Prop(data, "EDB_iAttrType"));
    }
    if (names.size() != kData) std::abort();
    for (int j = 0; j < kData; ++j) {
      xmlNodePtr out = xmlNewDocNode(doc, nullptr, X("EDB_JobOutData"), nullptr);
      xmlSetProp(out, X("EDB_oAttrName"), X(OutName(j)));
      xmlSetProp(out, X("EDB_oAttrValue"), X(OutValue(k, j)));
      xmlSetProp(out, X("EDB_oAttrType"), X(kOutType));
      xmlAddChild(job, out);
    }
    ++k;
  }
  return Dump(doc, keep);
}

// --- pugixml ---------------------------------------------------------------------------

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
};

std::size_t Save(const pugi::xml_document& doc, std::string* keep) {
  StringWriter writer;
  doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  const std::size_t length = writer.text.size();
  if (keep != nullptr) *keep = std::move(writer.text);
  return length;
}

std::size_t PugixmlBuild(int jobs, std::string* keep = nullptr) {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("Integration");
  root.append_attribute("version") = "1.0";
  std::vector<pugi::xml_node> nodes(static_cast<std::size_t>(jobs));
  for (int i = 0; i < jobs; ++i) {
    pugi::xml_node job = root.append_child("EDB_Job");
    job.append_attribute("EDB_Id") = static_cast<const char*>(JobId(i));
    job.append_attribute("EDB_Type") = kJobType;
    job.append_attribute("EDB_JobInput") = static_cast<const char*>(JobInput(i));
    nodes[static_cast<std::size_t>(i)] = job;
  }
  for (int i = 0; i < jobs; ++i) {
    for (int j = 0; j < kData; ++j) {
      pugi::xml_node data = nodes[static_cast<std::size_t>(i)].append_child("EDB_JobInData");
      data.append_attribute("EDB_iAttrName") = static_cast<const char*>(InName(j));
      data.append_attribute("EDB_iAttrValue") = static_cast<const char*>(InValue(i, j));
      data.append_attribute("EDB_iAttrType") = kInType;
    }
  }
  return Save(doc, keep);
}

std::size_t PugixmlAnswer(const std::string& request, std::string* keep = nullptr) {
  pugi::xml_document doc;
  if (!doc.load_buffer(request.data(), request.size())) std::abort();
  std::vector<std::string> ids, types, inputs;
  int k = 0;
  for (pugi::xml_node job : doc.document_element().children("EDB_Job")) {
    ids.emplace_back(job.attribute("EDB_Id").value());
    types.emplace_back(job.attribute("EDB_Type").value());
    inputs.emplace_back(job.attribute("EDB_JobInput").value());
    std::vector<std::string> names, values, kinds;
    for (pugi::xml_node data : job.children("EDB_JobInData")) {
      names.emplace_back(data.attribute("EDB_iAttrName").value());
      values.emplace_back(data.attribute("EDB_iAttrValue").value());
      kinds.emplace_back(data.attribute("EDB_iAttrType").value());
    }
    if (names.size() != kData) std::abort();
    for (int j = 0; j < kData; ++j) {
      pugi::xml_node out = job.append_child("EDB_JobOutData");
      out.append_attribute("EDB_oAttrName") = static_cast<const char*>(OutName(j));
      out.append_attribute("EDB_oAttrValue") = static_cast<const char*>(OutValue(k, j));
      out.append_attribute("EDB_oAttrType") = kOutType;
    }
    ++k;
  }
  return Save(doc, keep);
}

// --- Cases -------------------------------------------------------------------------------

// A case prepares its input for a size (outside the clock) and gives the work
// to time, which returns the length of the document written.
using Work = std::function<std::size_t()>;
struct Case {
  const char* name;
  std::function<Work(int)> prepare;
};

// The request bytes in the form each implementation takes them.
Work OnRequest(int jobs, std::size_t (*answer)(const std::string&, std::string*)) {
  auto request = std::make_shared<const std::string>(RequestBytes(jobs));
  return [request, answer] { return answer(*request, nullptr); };
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"library/build", [](int n) -> Work { return [n] { return LibraryBuild(n); }; }},
      {"libxml2/build", [](int n) -> Work { return [n] { return Libxml2Build(n); }; }},
      {"pugixml/build", [](int n) -> Work { return [n] { return PugixmlBuild(n); }; }},
      {"library/answer",
       [](int n) -> Work {
         const std::string request = RequestBytes(n);
         auto bytes = std::make_shared<const _SEQUENCE_octet>(request.size(),
                                                              reinterpret_cast<const unsigned char*>(request.data()));
         return [bytes] { return LibraryAnswer(*bytes); };
       }},
      {"libxml2/answer", [](int n) { return OnRequest(n, Libxml2Answer); }},
      {"pugixml/answer", [](int n) { return OnRequest(n, PugixmlAnswer); }},
  };
  return cases;
}

void RunCase(benchmark::State& state, const Case& c) {
  const int jobs = static_cast<int>(state.range(0));
  const Work work = c.prepare(jobs);
  std::size_t written = 0;
  // Two untimed runs first, so that the timed ones use memory the case has
  // used before at every size. The warm-up time alone did not do it: one
  // first run at 100 000 jobs outlasts it, and the timed runs then came out
  // at twice the time of later ones.
  for (int k = 0; k < 2; ++k) written = work();
  for (auto _ : state) {
    written = work();
    benchmark::DoNotOptimize(written);
  }
  state.counters["per_job"] = benchmark::Counter(
      static_cast<double>(jobs), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["bytes_out"] = static_cast<double>(written);
}

// --- Checks: every implementation writes the same document ---------------------------

// pugixml writes no XML declaration's newline and no final newline the way
// libxml2 does; the documents are compared from their root element on.
std::string Body(const std::string& text) {
  const std::size_t start = text.find("<Integration");
  std::string body = start == std::string::npos ? text : text.substr(start);
  while (!body.empty() && (body.back() == '\n' || body.back() == ' ')) body.pop_back();
  return body;
}

bool Check(int jobs) {
  std::string library, libxml2, pugixml;
  LibraryBuild(jobs, &library);
  Libxml2Build(jobs, &libxml2);
  PugixmlBuild(jobs, &pugixml);
  bool ok = library == RequestBytes(jobs) && library == libxml2 && Body(library) == Body(pugixml);
  if (!ok) std::fprintf(stderr, "bench_jobs: the builds differ (%d jobs)\n", jobs);
  const _SEQUENCE_octet bytes(library.size(), reinterpret_cast<const unsigned char*>(library.data()));
  LibraryAnswer(bytes, &library);
  Libxml2Answer(RequestBytes(jobs), &libxml2);
  PugixmlAnswer(RequestBytes(jobs), &pugixml);
  if (library != libxml2 || Body(library) != Body(pugixml)) {
    std::fprintf(stderr, "bench_jobs: the answers differ (%d jobs)\n", jobs);
    ok = false;
  }
  return ok;
}

// --- Peak memory: one fresh process per case ------------------------------------------

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
      return std::atol(line.c_str() + length + 1);
    }
  }
  return -1;
}

double ProcessSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// What one run in a fresh process reports.
struct Fresh {
  double seconds = 0;  // CPU time of the work
  long startKb = 0;    // resident size before the work
  long peakKb = 0;     // VmHWM, which counts the input made before the work too
  long faults = 0;     // pages the work touched first (minor faults)
};

// Runs `c` once in a forked child, which sends back what it measured.
bool MeasureInChild(const Case& c, int jobs, Fresh& fresh) {
  int channel[2];
  if (pipe(channel) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(channel[0]);
    const Work work = c.prepare(jobs);
    const long start = StatusKb("VmRSS");
    const long faults = MinorFaults();
    // CPU time of the process, as the timed runs report it.
    const double begin = ProcessSeconds();
    work();
    const double elapsed = ProcessSeconds() - begin;
    char line[128];
    const int size = std::snprintf(line, sizeof line, "%.6f %ld %ld %ld\n", elapsed, start, StatusKb("VmHWM"),
                                   MinorFaults() - faults);
    const bool sent = write(channel[1], line, static_cast<std::size_t>(size)) == size;
    _exit(sent ? 0 : 1);
  }
  close(channel[1]);
  char line[128] = {};
  const ssize_t got = read(channel[0], line, sizeof line - 1);
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return got > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
         std::sscanf(line, "%lf %ld %ld %ld", &fresh.seconds, &fresh.startKb, &fresh.peakKb, &fresh.faults) == 4;
}

template <class T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Every case and size `repeat` times, each run in a fresh process; prints
// the medians.
int Memory(std::vector<int> sizes, int repeat, const char* only) {
  if (sizes.empty()) sizes = kSizes;
  std::printf("case,jobs,seconds,us_per_job,start_kb,peak_kb,faults_per_job\n");
  for (int jobs : sizes) {
    for (const Case& c : Cases()) {
      if (only != nullptr && std::strcmp(c.name, only) != 0) continue;
      std::vector<double> seconds;
      std::vector<long> starts, peaks, faults;
      for (int k = 0; k < repeat; ++k) {
        Fresh fresh;
        if (!MeasureInChild(c, jobs, fresh)) {
          std::fprintf(stderr, "bench_jobs: %s with %d jobs failed\n", c.name, jobs);
          return 1;
        }
        seconds.push_back(fresh.seconds);
        starts.push_back(fresh.startKb);
        peaks.push_back(fresh.peakKb);
        faults.push_back(fresh.faults);
      }
      const double median = Median(seconds);
      std::printf("%s,%d,%.4f,%.3f,%ld,%ld,%.2f\n", c.name, jobs, median, 1e6 * median / jobs, Median(starts),
                  Median(peaks), static_cast<double>(Median(faults)) / jobs);
      std::fflush(stdout);
    }
  }
  return 0;
}

// Runs one case `times` times in this process (for a profiler).
int RunOnce(const char* name, int jobs, int times) {
  for (const Case& c : Cases()) {
    if (std::strcmp(c.name, name) != 0) continue;
    const Work work = c.prepare(jobs);
    std::size_t written = 0;
    for (int k = 0; k < times; ++k) written += work();
    std::printf("%s, %d jobs, %d runs: %zu bytes\n", name, jobs, times, written);
    return 0;
  }
  std::fprintf(stderr, "bench_jobs: no case %s\n", name);
  return 2;
}

// The timed runs' allocator settings: the process keeps the memory it frees.
// No block is mapped on its own (glibc maps any block over 32 MiB, whatever
// the threshold asked for, and unmaps it when freed, so the written text of
// a large document took fresh pages on every run): every block comes from the
// heap, which is never trimmed.
void KeepFreedMemory() {
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  mallopt(M_MMAP_MAX, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && (std::strcmp(argv[1], "--run") == 0 || std::strcmp(argv[1], "--run-fresh") == 0)) {
    // As timed, so that a profile of the repeated runs shows the work and not
    // the kernel's fresh pages; --run-fresh keeps the allocator's defaults,
    // for a profile of the pages touched first (perf record -e page-faults).
    if (std::strcmp(argv[1], "--run") == 0) KeepFreedMemory();
    return RunOnce(argv[2], std::atoi(argv[3]), argc >= 5 ? std::atoi(argv[4]) : 1);
  }
  if (argc >= 2 && std::strcmp(argv[1], "--memory") == 0) {
    int repeat = 3;
    const char* only = nullptr;
    std::vector<int> sizes;
    for (int k = 2; k < argc; ++k) {
      if (std::strncmp(argv[k], "--repeat=", 9) == 0) {
        repeat = std::max(1, std::atoi(argv[k] + 9));
      } else if (std::strncmp(argv[k], "--case=", 7) == 0) {
        only = argv[k] + 7;
      } else {
        sizes.push_back(std::atoi(argv[k]));
      }
    }
    return Memory(sizes, repeat, only);
  }
  // Compares the implementations' documents before timing them.
  if (!Check(200)) return 1;
  if (argc >= 2 && std::strcmp(argv[1], "--check") == 0) return Check(2000) ? 0 : 1;

  // Timing: the process keeps the memory it frees, and each case warms up
  // first, so that every implementation is timed on memory it has touched
  // before, at every size: what is measured is the work, not the kernel
  // handing out fresh zeroed pages (a few microseconds per 4 KiB page on a
  // virtual machine, the same for every implementation). First-touch runs are
  // measured apart, one fresh process per case (--memory).
  KeepFreedMemory();
  for (const Case& c : Cases()) {
    benchmark::RegisterBenchmark(c.name, [&c](benchmark::State& state) { RunCase(state, c); })
        ->Unit(benchmark::kMillisecond)
        ->MinWarmUpTime(0.5)
        ->ArgName("jobs")
        ->Arg(kSizes[0])
        ->Arg(kSizes[1])
        ->Arg(kSizes[2]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
