// Files for the tests of every suite: whole-file reads and writes, a scratch
// directory of the test's own, and uuid files as a uuid generator writes them.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "TestSystem.h"

namespace testfiles {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names in a directory.
inline std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.insert(entry.path().filename().u8string());
  return names;
}

// A directory of its own for one test, removed afterwards.
struct Scratch {
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string File(const std::string& name) const { return path + "/" + name; }

  std::string path = [] {
    const std::string made = testsystem::MakeTempDirectory("keltest-");
    return made.empty() ? std::string("/nonexistent") : made;
  }();
};

// Writes `count` fresh uuids as a uuid generator's "-s" output does, with
// `eol` line ends; gives them back in the 8-4-4-16 form the metadata
// dictionary document uses.
inline std::vector<std::string> WriteUuidFile(const std::string& path, int count, const std::string& eol = "\n") {
  static std::mt19937_64 random{std::random_device{}()};
  std::string text;
  std::vector<std::string> uuids;
  for (int i = 0; i < count; ++i) {
    char u[40];
    const unsigned long long a = random(), b = random();
    std::snprintf(u, sizeof u, "%08llx-%04llx-%04llx-%04llx-%012llx", a >> 32, (a >> 16) & 0xFFFF, a & 0xFFFF, b >> 48,
                  b & 0xFFFFFFFFFFFFULL);
    text +=
        "INTERFACENAME = { /* " + std::string(u) + " */" + eol + "    0x" + std::string(u, 8) + "," + eol + "  }" + eol;
    uuids.push_back(std::string(u, 23) + std::string(u + 24));
  }
  WriteFile(path, text);
  return uuids;
}

}  // namespace testfiles
