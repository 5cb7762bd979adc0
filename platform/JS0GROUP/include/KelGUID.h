// Globally unique identifiers of classes and interfaces.
#pragma once

#include <cstdint>
#include <cstring>

#include "ExportedByJS0GROUP.h"

struct _GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

typedef _GUID GUID;
typedef _GUID IID;
typedef _GUID CLSID;

inline bool operator==(const _GUID& a, const _GUID& b) { return std::memcmp(&a, &b, sizeof(_GUID)) == 0; }
inline bool operator!=(const _GUID& a, const _GUID& b) { return !(a == b); }

// The identifier of the root interface, answered by every object.
extern ExportedByJS0GROUP const IID IID_IUnknown;
extern ExportedByJS0GROUP const IID IID_IDispatch;
extern ExportedByJS0GROUP const IID IID_KelBaseUnknown;
