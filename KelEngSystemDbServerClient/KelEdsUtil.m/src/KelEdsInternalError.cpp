#include "KelEdsInternalError.h"

#include <utility>

// The module's meta-object: kind 1 (an implementation), based on
// KelInternalError's, no data extension, in the module's framework.
KelImplementClass(KelEdsInternalError, KelImplementationKind, KelInternalError, "KelNull", "KelEngSystemDbServerClient")

    // No entries in use; one placeholder because C++ has no empty arrays.
    const KelErrDsc KelEdsInternalError::errorTable[] = {{0, "", ""}};
const unsigned int KelEdsInternalError::errorTableLength = 0;

KelEdsInternalError::ThrowSmartPtr::~ThrowSmartPtr() = default;

KelEdsInternalError::KelEdsInternalError(KelEdsInternalError&& other) noexcept : KelInternalError(std::move(other)) {}
KelEdsInternalError::KelEdsInternalError(const KelEdsInternalError& other) = default;
KelEdsInternalError::KelEdsInternalError(unsigned int id) : KelInternalError(id) {}
KelEdsInternalError::KelEdsInternalError(unsigned int id, const char* msgId, const char* msgCatalog)
    : KelInternalError(id, msgId, msgCatalog) {}
KelEdsInternalError::KelEdsInternalError(const char* msgId, const char* msgCatalog)
    : KelInternalError(msgId, msgCatalog) {}
KelEdsInternalError::~KelEdsInternalError() = default;
KelEdsInternalError& KelEdsInternalError::operator=(const KelEdsInternalError& other) = default;
KelEdsInternalError& KelEdsInternalError::operator=(KelEdsInternalError&& other) noexcept = default;

KelError* KelEdsInternalError::CloneSelf() {
  // KelBaseUnknown's operator new gives null instead of throwing.
  return new KelEdsInternalError(*this);
}

void KelEdsInternalError::raise() { throw ThrowSmartPtr(this); }

void KelEdsInternalError::raise_ptr() { throw this; }

void KelEdsInternalError::GetErrorTable(unsigned int* length, const KelErrDsc** table) {
  if (length != nullptr) *length = errorTableLength;
  if (table != nullptr) *table = errorTable;
}

KelEdsInternalError* KelEdsInternalError::Setup(const char* file, int line) {
  KelError::Setup(file, line);
  return this;
}

KelEdsInternalError* KelEdsInternalError::Self() { return this; }

KelBaseUnknown* KelEdsInternalError::CreateItself() { return nullptr; }
