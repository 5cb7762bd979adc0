#include "KelInternalError.h"

#include "KelList.h"

KelImplementClass(KelInternalError, KelImplementationKind, KelError, "KelNull", "System")

const KelErrDsc KelInternalError::errorTable[] = {
    {KelErrNullVar, "KelErrNullVar", "A handle was used while it held no object."},
    {KelErrOutOfRange, "KelErrOutOfRange", "Position /p1 is outside the list of /p2 entries."},
    {KelErrOutOfMemory, "KelErrOutOfMemory", "Memory ran out."},
};
const unsigned int KelInternalError::errorTableLength = sizeof(errorTable) / sizeof(errorTable[0]);

KelInternalError::ThrowSmartPtr::~ThrowSmartPtr() = default;

KelInternalError::KelInternalError(unsigned int id) : KelError(id) { ApplyErrorTable(); }
KelInternalError::KelInternalError(unsigned int id, const char* msgId, const char* msgCatalog)
    : KelError(id, msgId, msgCatalog) {
  ApplyErrorTable();
}
KelInternalError::KelInternalError(const char* msgId, const char* msgCatalog) : KelError(msgId, msgCatalog) {}
KelInternalError::~KelInternalError() = default;

KelError* KelInternalError::CloneSelf() { return new KelInternalError(*this); }
void KelInternalError::raise() { throw ThrowSmartPtr(this); }
void KelInternalError::raise_ptr() { throw this; }

void KelInternalError::GetErrorTable(unsigned int* length, const KelErrDsc** table) {
  if (length != nullptr) *length = errorTableLength;
  if (table != nullptr) *table = errorTable;
}

void KelRaiseOutOfRange(int position, int size) {
  auto* error = new KelInternalError(KelErrOutOfRange);
  if (error == nullptr) throw std::bad_alloc();
  KelUnicodeString parameters[2];
  parameters[0].BuildFromNum(position);
  parameters[1].BuildFromNum(size);
  error->SetNLSRequestParams(2, parameters);
  KelError::Throw(error);
}
