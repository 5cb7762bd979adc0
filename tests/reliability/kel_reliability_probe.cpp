// kel_reliability_probe: runs one library operation in a process of its own,
// so that its peak memory can be read from the outside (wait4's ru_maxrss),
// it can run under another user, under a file-size limit, or be timed on
// inputs too large for the unit suite (tests/reliability/measure_limits.sh).
//
//   load-stream FILE         LoadStream of the file's bytes
//   load-file FILE           LoadFile
//   round-trip FILE          LoadStream, then GenerateStream
//   generate-file IN OUT     LoadFile IN, then GenerateFile OUT
//   metadata UUIDS OUT       GenerateNorvaleMetaData (standard output silenced)
//   make-jobs BYTES FILE     writes a job document of at least BYTES bytes
//   make-hostile KIND FILE   writes a hostile document: laughs (ten levels of
//                            ten entity references), blowup (a 100 kB entity
//                            used 20 000 times), deep (100 000 nested elements)
//
// Prints "<step> code=<result> seconds=<time>" per step and "peak_rss_kb=<n>"
// last: the process's own high-water mark (VmHWM). Its ru_maxrss would not
// do: a forked child starts from its parent's mark, and exec keeps it.
// Exits 0 when every step ran, whatever its result code; 2 on bad usage.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "HostileDocuments.h"
#include "KelEdsMetadataTool.h"
#include "KelEdsXMLParser.h"

namespace {

template <class Step>
long Timed(const char* name, Step&& step) {
  const auto start = std::chrono::steady_clock::now();
  const long code = step();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%s code=%ld seconds=%.3f\n", name, code, took.count());
  std::fflush(stdout);
  return code;
}

std::unique_ptr<_SEQUENCE_octet> ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return std::make_unique<_SEQUENCE_octet>(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data()));
}

// Jobs with inputs, context inputs and outputs, about 600 bytes each.
bool MakeJobs(unsigned long long bytes, const char* path) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  unsigned long long written = static_cast<unsigned long long>(
      std::fprintf(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Integration version=\"1\">\n"));
  for (unsigned long job = 1; written < bytes; ++job) {
    const int n =
        std::fprintf(out,
                     "<EDB_Job EDB_Id=\"J%lu\" EDB_Type=\"route\" EDB_JobInput=\"cable route %lu\">"
                     "<EDB_JobInData EDB_iAttrName=\"length\" EDB_iAttrValue=\"%lu.25\" EDB_iAttrType=\"Double\"/>"
                     "<EDB_JobInData EDB_iAttrName=\"name\" EDB_iAttrValue=\"C\xC3\xA2"
                     "ble-%lu\" EDB_iAttrType=\"String\"/>"
                     "<EDB_JobContextInData EDB_Ctxt_iAttrName=\"wp\" EDB_Ctxt_iAttrValue=\"WP%lu\" "
                     "EDB_Ctxt_iAttrType=\"String\"/>"
                     "<EDB_JobOutData EDB_oAttrName=\"status\" EDB_oAttrValue=\"routed\" EDB_oAttrType=\"String\"/>"
                     "<EDB_JobReportOutData EDB_JobReportOneRow=\"route %lu done in 3 sections\"/>"
                     "</EDB_Job>\n",
                     job, job, job, job, job % 97, job);
    if (n < 0) break;
    written += static_cast<unsigned long long>(n);
  }
  const bool ok = std::fprintf(out, "</Integration>\n") > 0;
  return std::fclose(out) == 0 && ok;
}

bool MakeHostile(const std::string& kind, const char* path) {
  const std::string text = kind == "laughs"   ? hostile::BillionLaughs()
                           : kind == "blowup" ? hostile::QuadraticBlowup(100000, 20000)
                           : kind == "deep"   ? hostile::Nested(100000)
                                              : "";
  if (text.empty()) return false;
  std::ofstream out(path, std::ios::binary);
  return static_cast<bool>(out << text);
}

// VmHWM of /proc/self/status, in kB; -1 when it cannot be read.
long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s load-stream|load-file|round-trip|generate-file|metadata|make-jobs|make-hostile ...\n",
                 argv[0]);
    return 2;
  }
  if (mode == "load-stream" || mode == "round-trip") {
    const std::unique_ptr<_SEQUENCE_octet> bytes = ReadBytes(argv[2]);
    if (bytes == nullptr) return 2;
    KelEdsXMLParser parser;
    const long loaded = Timed("load-stream", [&] { return parser.LoadStream(bytes.get(), 0, nullptr); });
    if (mode == "round-trip" && loaded >= 0) {
      _SEQUENCE_octet* out = nullptr;
      Timed("generate-stream", [&] { return parser.GenerateStream(&out); });
      std::printf("generated_bytes=%lu\n", out != nullptr ? out->_length : 0UL);
      delete out;
    }
  } else if (mode == "load-file") {
    KelEdsXMLParser parser;
    Timed("load-file", [&] { return parser.LoadFile(argv[2], 0); });
  } else if (mode == "generate-file" && argc > 3) {
    KelEdsXMLParser parser;
    if (Timed("load-file", [&] { return parser.LoadFile(argv[2], 0); }) >= 0)
      Timed("generate-file", [&] { return parser.GenerateFile(argv[3]); });
  } else if (mode == "metadata" && argc > 3) {
    KelEdsMetadataTool tool;
    // The generator's summary would mix with the probe's own lines.
    std::fflush(stdout);
    const int saved = dup(1);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 1);
    const long code = tool.GenerateNorvaleMetaData(argv[2], {}, {}, argv[3]);
    std::fflush(stdout);
    if (saved >= 0) dup2(saved, 1);
    std::printf("metadata code=%ld\n", code);
  } else if (mode == "make-hostile" && argc > 3) {
    if (!MakeHostile(argv[2], argv[3])) return 2;
  } else if (mode == "make-jobs" && argc > 3) {
    if (!MakeJobs(std::strtoull(argv[2], nullptr, 10), argv[3])) return 2;
  } else {
    std::fprintf(stderr, "%s: unknown mode or missing argument\n", argv[0]);
    return 2;
  }
  std::printf("peak_rss_kb=%ld\n", PeakRssKb());
  return 0;
}
