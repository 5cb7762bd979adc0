// Job documents as a server sends them: any bytes through LoadStream. The
// first byte asks for validation against the job DTD (found through
// KelDictionaryPath). A document that loads is read, added to, and written
// and read back (see FuzzXml.h).
#include <cstdint>
#include <cstdlib>

#include "FuzzXml.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KelDictionaryPath", KEL_DTD_DIR, 1);
  KelSetSysLogSink(fuzzxml::Quiet, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned char validate = data[0] & 1;
  const _SEQUENCE_octet bytes(static_cast<unsigned long>(size - 1), data + 1);
  KelEdsXMLParser parser;
  if (parser.LoadStream(&bytes, validate, "KelEdsJobs.dtd") < 0) return 0;
  fuzzxml::ReadEverything(parser);
  fuzzxml::RoundTrip(parser);
  fuzzxml::AppendAndReadBack(parser);
  fuzzxml::RoundTrip(parser);
  return 0;
}
