#include "KelBaseUnknown.h"

#include "KelAllocator.h"
#include "KelDictionary.h"

KelBaseUnknown::~KelBaseUnknown() = default;

long KelBaseUnknown::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_KelBaseUnknown ||
      iid == GetMetaObject()->GetClassId()) {
    AddRef();
    *object = this;
    return S_OK;
  }
  for (const KelMetaClass* meta = GetMetaObject(); meta != nullptr; meta = meta->GetBase()) {
    if (KelTieFactory factory = KelLookupDictionary(meta->GetName(), iid)) {
      KelBaseUnknown* tie = factory(this, nullptr);
      if (tie == nullptr) return E_OUTOFMEMORY;
      *object = tie;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

long KelBaseUnknown::QueryInterface(const char* interfaceName, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (interfaceName == nullptr) return E_INVALIDARG;
  if (IsAKindOf(interfaceName)) {
    AddRef();
    *object = this;
    return S_OK;
  }
  for (const KelMetaClass* meta = GetMetaObject(); meta != nullptr; meta = meta->GetBase()) {
    if (KelTieFactory factory = KelLookupDictionary(meta->GetName(), interfaceName)) {
      KelBaseUnknown* tie = factory(this, nullptr);
      if (tie == nullptr) return E_OUTOFMEMORY;
      *object = tie;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

unsigned long KelBaseUnknown::AddRef() { return ++references_; }

unsigned long KelBaseUnknown::Release() {
  unsigned long left = --references_;
  if (left == 0) delete this;
  return left;
}

long KelBaseUnknown::GetTypeInfoCount(unsigned int* count) {
  if (count != nullptr) *count = 0;
  return S_OK;
}
long KelBaseUnknown::GetTypeInfo(unsigned int, unsigned long, void** typeInfo) {
  if (typeInfo != nullptr) *typeInfo = nullptr;
  return E_NOTIMPL;
}
long KelBaseUnknown::GetIDsOfNames(const IID&, wchar_t**, unsigned int, unsigned long, long*) { return E_NOTIMPL; }
long KelBaseUnknown::Invoke(long, const IID&, unsigned long, unsigned short, void*, void*, void*, unsigned int*) {
  return E_NOTIMPL;
}

KelMetaClass* KelBaseUnknown::MetaObject() {
  static KelMetaClass* const meta =
      fct_RetrieveMetaObject("KelBaseUnknown", KelImplementationKind, nullptr, "KelNull", "System", sizeof(KelBaseUnknown));
  return meta;
}
const char* KelBaseUnknown::ClassName() { return MetaObject()->GetName(); }
const _GUID& KelBaseUnknown::ClassId() { return MetaObject()->GetClassId(); }
KelMetaClass* KelBaseUnknown::GetMetaObject() const { return MetaObject(); }
const char* KelBaseUnknown::IsA() const { return GetMetaObject()->GetName(); }
int KelBaseUnknown::IsAKindOf(const char* className) const { return GetMetaObject()->IsAKindOf(className); }

KelBaseUnknown* KelBaseUnknown::GetImpl(int) { return this; }
void KelBaseUnknown::SetImpl(KelBaseUnknown*) {}
int KelBaseUnknown::IsNull() const { return 0; }
int KelBaseUnknown::IsEqual(const KelBaseUnknown* other) const { return other == this ? 1 : 0; }
long KelBaseUnknown::ChangeComponentState(int, int, int) { return E_NOTIMPL; }

void* KelBaseUnknown::operator new(std::size_t size) noexcept { return KelAllocate(size); }
void KelBaseUnknown::operator delete(void* block) noexcept { KelDeallocate(block); }
