// A file a user points the library at: any bytes, written to a file of the
// fuzzer's own and read with LoadFile (entity references expanded). The first
// byte asks for validation (the DTD is then looked for beside the file). A
// document that loads is read, written to a file, and read back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzInput.h"
#include "FuzzXml.h"

namespace {
std::string g_directory;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_directory = ScratchDirectory("load-file");
  std::atexit([] { std::filesystem::remove_all(g_directory); });
  KelSetSysLogSink(fuzzxml::Quiet, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string in = g_directory + "/document.xml", out = g_directory + "/written.xml";
  {
    std::FILE* file = std::fopen(in.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  }
  KelEdsXMLParser parser;
  if (parser.LoadFile(in.c_str(), data[0] & 1) < 0) return 0;
  fuzzxml::ReadEverything(parser);
  fuzzxml::Require(parser.GenerateFile(out.c_str()) >= 0);
  const std::string written = ReadAll(out);
  fuzzxml::Require(written == fuzzxml::Write(parser));
  KelEdsXMLParser back;
  fuzzxml::Require(back.LoadFile(out.c_str(), 0) >= 0);
  fuzzxml::Require(back.GenerateFile(out.c_str()) >= 0 && ReadAll(out) == written);
  return 0;
}
