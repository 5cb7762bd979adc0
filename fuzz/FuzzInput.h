// Turns fuzzer bytes into the library's inputs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "KelUnicodeString.h"

inline KelUnicodeString FuzzText(const std::uint8_t* data, std::size_t size) {
  KelUnicodeString text;
  text.BuildFromUTF8(reinterpret_cast<const char*>(data), size);
  return text;
}
