// The uuid file that GenerateNorvaleMetaData draws its uuids from: any bytes,
// read by the dictionary's ReadUuidFile. Never more entries than markers, no
// entry longer than a piece; for plain ASCII files with short lines the pool
// is exactly what the reading rule gives, computed here independently.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "KelEdsMetadataDict.h"

namespace {

std::string g_directory, g_path;
const std::string kMarker = "INTERFACENAME = { ";

void Require(bool condition) {
  if (!condition) std::abort();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The reading rule: per line (CRLF read as LF), from a line holding the
// marker at p, the text from p + 21 up to the third character from the end,
// stripped of blanks, without its last dash.
std::vector<std::string> Expected(const std::string& text) {
  std::vector<std::string> pool;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(start, end - start);
    start = end;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.erase(line.size() - 2, 1);
    const std::size_t p = line.find(kMarker);
    if (p == std::string::npos) continue;
    const std::string body = line.substr(0, line.size() - 1);
    const long length = static_cast<long>(body.size()) - static_cast<long>(p) - 23;
    std::string uuid = length > 0 ? body.substr(p + 21, static_cast<std::size_t>(length)) : "";
    const std::size_t first = uuid.find_first_not_of(' ');
    uuid = first == std::string::npos ? "" : uuid.substr(first, uuid.find_last_not_of(' ') - first + 1);
    const std::size_t dash = uuid.rfind('-');
    if (dash != std::string::npos) uuid = uuid.substr(0, dash) + uuid.substr(dash + 1, 12);
    pool.push_back(uuid);
  }
  return pool;
}

bool PlainWithShortLines(const std::string& text) {
  std::size_t line = 0;
  for (unsigned char c : text) {
    if (c == 0 || c >= 0x80) return false;
    line = c == '\n' ? 0 : line + 1;
    if (line > 1000) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_directory = ScratchDirectory("uuid-file");
  g_path = g_directory + "/uuids.txt";
  std::atexit([] { std::filesystem::remove_all(g_directory); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::FILE* file = std::fopen(g_path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  static KelEdsMetadataDict* dictionary = new KelEdsMetadataDict;  // reads nothing of its own
  KelListValKelUnicodeString pool;
  Require(dictionary->ReadUuidFile(g_path.c_str(), pool) >= 0);
  Require(static_cast<std::size_t>(pool.Size()) <= Count(text, kMarker));
  for (const KelUnicodeString& uuid : pool) {
    Require(uuid.GetLengthInChar() <= 1023 && uuid.SearchSubString("\n") < 0);
  }
  if (PlainWithShortLines(text)) {
    const std::vector<std::string> expected = Expected(text);
    Require(static_cast<std::size_t>(pool.Size()) == expected.size());
    for (int i = 1; i <= pool.Size(); ++i) Require(pool[i].ToUTF8() == expected[static_cast<std::size_t>(i) - 1]);
  }
  return 0;
}
