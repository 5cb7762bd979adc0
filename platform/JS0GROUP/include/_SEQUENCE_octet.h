// _SEQUENCE_octet: a byte sequence (length and bytes), as handed between the
// library and its host.
//
// The bytes are copied in at construction (a null buffer gives `length` zero
// bytes, for a writer to fill) and freed by the destructor; a
// sequence returned to the host is the host's to delete. Memory comes from the
// platform allocator: when it cannot be had, `new _SEQUENCE_octet(...)`
// yields null, and a sequence whose buffer could not be allocated is empty
// (Create reports both cases as null).
//
// Threading: like any value type.
#pragma once

#include <cstddef>

#include "ExportedByJS0GROUP.h"

class ExportedByJS0GROUP _SEQUENCE_octet {
 public:
  _SEQUENCE_octet() = default;
  _SEQUENCE_octet(unsigned long length, const unsigned char* buffer);
  _SEQUENCE_octet(const _SEQUENCE_octet& other);
  _SEQUENCE_octet& operator=(const _SEQUENCE_octet& other);
  ~_SEQUENCE_octet();

  // A new sequence holding a copy of the bytes, or null when memory is short.
  // Extension of the stand-in, not in the platform contract (docs/PLATFORM.md).
  static _SEQUENCE_octet* Create(unsigned long length, const unsigned char* buffer) noexcept;

  unsigned char& operator[](unsigned long index) { return _buffer[index]; }
  const unsigned char& operator[](unsigned long index) const { return _buffer[index]; }
  unsigned long length() const { return _length; }

  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;

  unsigned long _length = 0;
  unsigned char* _buffer = nullptr;
};
