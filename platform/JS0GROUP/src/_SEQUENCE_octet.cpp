#include "_SEQUENCE_octet.h"

#include <cstring>

#include "KelAllocator.h"

namespace {
unsigned char* CopyBytes(unsigned long length, const unsigned char* bytes) {
  if (length == 0) return nullptr;
  auto* buffer = static_cast<unsigned char*>(KelAllocate(length));
  if (buffer == nullptr) return nullptr;
  if (bytes != nullptr) {
    std::memcpy(buffer, bytes, length);
  } else {
    std::memset(buffer, 0, length);
  }
  return buffer;
}
}  // namespace

_SEQUENCE_octet::_SEQUENCE_octet(unsigned long length, const unsigned char* buffer)
    : _buffer(CopyBytes(length, buffer)) {
  _length = _buffer != nullptr ? length : 0;
}

_SEQUENCE_octet::_SEQUENCE_octet(const _SEQUENCE_octet& other) : _SEQUENCE_octet(other._length, other._buffer) {}

_SEQUENCE_octet& _SEQUENCE_octet::operator=(const _SEQUENCE_octet& other) {
  if (this != &other) {
    unsigned char* copy = CopyBytes(other._length, other._buffer);
    KelDeallocate(_buffer);
    _buffer = copy;
    _length = copy != nullptr ? other._length : 0;
  }
  return *this;
}

_SEQUENCE_octet::~_SEQUENCE_octet() { KelDeallocate(_buffer); }

_SEQUENCE_octet* _SEQUENCE_octet::Create(unsigned long length, const unsigned char* buffer) noexcept {
  auto* sequence = new _SEQUENCE_octet(length, buffer);
  if (sequence != nullptr && sequence->_length != length) {
    delete sequence;
    return nullptr;
  }
  return sequence;
}

void* _SEQUENCE_octet::operator new(std::size_t size) noexcept { return KelAllocate(size); }
void _SEQUENCE_octet::operator delete(void* block) noexcept { KelDeallocate(block); }
