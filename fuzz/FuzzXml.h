// What the two job document fuzzers check once a document has loaded: every
// reader runs, a job can be added and read back, and writing, reading back
// and writing again gives the same bytes.
#pragma once

#include <cstdlib>
#include <string>

#include "KelEdsXMLParser.h"
#include "KelSysLog.h"

namespace fuzzxml {

inline void Quiet(const char*, void*) {}

// A check that failed: libFuzzer records the input.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

inline std::string Write(KelEdsDomParser& parser) {
  _SEQUENCE_octet* bytes = nullptr;
  Require(parser.GenerateStream(&bytes) >= 0 && bytes != nullptr);
  std::string text(reinterpret_cast<char*>(bytes->_buffer), bytes->_length);
  delete bytes;
  return text;
}

inline long Load(KelEdsDomParser& parser, const std::string& text) {
  const _SEQUENCE_octet bytes(text.size(), reinterpret_cast<const unsigned char*>(text.data()));
  return parser.LoadStream(&bytes, 0, nullptr);
}

// Every reader, for the first few jobs; lists of one call stay parallel.
inline void ReadEverything(const KelEdsXMLParser& parser) {
  KelListValKelUnicodeString ids, types, inputs;
  if (parser.GetJobDefinition(ids, types, inputs) < 0) return;
  Require(ids.Size() == types.Size() && ids.Size() == inputs.Size());
  for (int i = 1; i <= ids.Size() && i <= 8; ++i) {
    KelListValKelUnicodeString a, b, c;
    parser.GetJobInput(ids[i], a, b, c);
    parser.GetJobContextInput(ids[i], a, b, c);
    Require(a.Size() == b.Size() && a.Size() == c.Size());
    parser.GetJobOutput(ids[i], a, b, c);
    parser.GetJobDeleteErrOutput(ids[i], a, b, c);
    Require(a.Size() == b.Size() && a.Size() == c.Size());
    parser.GetJobReportOutput(ids[i], a);
    KelUnicodeString key, file, type, parameters;
    parser.GetJobError(ids[i], key, file, type, parameters);
  }
}

// A job appended under the root is listed last; an output inserted into it
// is read back last.
inline void AppendAndReadBack(KelEdsXMLParser& parser) {
  const KelUnicodeString id("fuzz-job-7d41c0");
  if (parser.AppendJobDefinition(id, "t", "i") < 0) return;  // no root
  KelListValKelUnicodeString ids, types, inputs;
  Require(parser.GetJobDefinition(ids, types, inputs) >= 0 && ids.Size() > 0);
  Require(ids[ids.Size()] == id || ids.Locate(id) < ids.Size());
  Require(parser.InsertJobOutput(id, "n", "v", "t") >= 0);
  KelListValKelUnicodeString names, values, kinds;
  Require(parser.GetJobOutput(id, names, values, kinds) >= 0 && names.Size() > 0);
  Require(names[names.Size()] == KelUnicodeString("n") && values[values.Size()] == KelUnicodeString("v"));
}

// Written bytes load again, and from the second write on nothing changes.
inline void RoundTrip(KelEdsXMLParser& parser) {
  const std::string first = Write(parser);
  KelEdsXMLParser second;
  Require(Load(second, first) >= 0);
  const std::string again = Write(second);
  KelEdsXMLParser third;
  Require(Load(third, again) >= 0);
  Require(Write(third) == again);
  Require(again == first);
}

}  // namespace fuzzxml
