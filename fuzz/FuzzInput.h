// Turns fuzzer bytes into the library's inputs.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "KelUnicodeString.h"

inline KelUnicodeString FuzzText(const std::uint8_t* data, std::size_t size) {
  KelUnicodeString text;
  text.BuildFromUTF8(reinterpret_cast<const char*>(data), size);
  return text;
}

// A directory of the fuzzer's own, in memory where possible: rewriting a
// file on a disk file system a thousand times a second waits on the disk.
inline std::string ScratchDirectory(const char* name) {
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/kel-fuzz-" + name + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) return pattern;
  }
  std::abort();
}
