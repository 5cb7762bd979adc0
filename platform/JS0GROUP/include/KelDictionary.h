// The interface dictionary and the TIE adaptors.
//
// A library declares at load time, with KelFillDictionary, that objects of an
// implementation class offer an interface through an adaptor factory. When
// KelBaseUnknown::QueryInterface is asked for an interface that the object
// does not answer itself, it looks the object's class (then its base classes)
// up in the dictionary and calls the factory, which builds an adaptor (a "TIE")
// around the object.
//
// A TIE is a separate KelBaseUnknown that implements the interface by
// forwarding to its implementation. It holds one reference on the
// implementation for its whole life; its own reference count is kept by
// KelTieBase (Tie_AddRef / Tie_Release), and querying a TIE queries its
// implementation (Tie_Query).
//
// Threading: the dictionary is guarded by a lock; registration normally
// happens while libraries load.
#pragma once

#include "ExportedByJS0GROUP.h"
#include "KelBaseUnknown.h"
#include "KelGUID.h"

// Builds the adaptor of `implementation` for one interface; returns it with
// one reference, or null when it cannot be allocated. `outer` is reserved for
// aggregation and passed as null by QueryInterface.
typedef KelBaseUnknown* (*KelTieFactory)(KelBaseUnknown* implementation, KelBaseUnknown* outer);

struct KelDictionaryEntry {
  const char* implementation;  // implementation class name
  const IID* interfaceId;      // interface offered
  const char* interfaceName;   // its name, for QueryInterface by name
  KelTieFactory factory;       // adaptor factory
};

// Records `count` entries. A later entry for the same implementation and
// interface replaces an earlier one.
ExportedByJS0GROUP void KelFillDictionary(const KelDictionaryEntry* entries, int count);
// Removes the entries of an implementation (used when a library unloads).
ExportedByJS0GROUP void KelEmptyDictionary(const char* implementation);
// The factory for an implementation class and interface, or null.
ExportedByJS0GROUP KelTieFactory KelLookupDictionary(const char* implementation, const IID& interfaceId);
ExportedByJS0GROUP KelTieFactory KelLookupDictionary(const char* implementation, const char* interfaceName);

// State that every TIE carries: the implementation it forwards to and the
// interface meta class it stands for.
struct KelTieState {
  KelBaseUnknown* implementation = nullptr;
  const KelMetaClass* interfaceMeta = nullptr;
  unsigned long references = 0;
};

// The TIE operations, shared by every adaptor.
ExportedByJS0GROUP void Tie_Construct(KelTieState& tie, KelBaseUnknown* implementation,
                                      const KelMetaClass* interfaceMeta);
ExportedByJS0GROUP void Tie_Destruct(KelTieState& tie);
ExportedByJS0GROUP unsigned long Tie_AddRef(KelTieState& tie);
// Returns the new count; at zero the caller deletes the adaptor.
ExportedByJS0GROUP unsigned long Tie_Release(KelTieState& tie);
ExportedByJS0GROUP long Tie_Query(KelTieState& tie, KelBaseUnknown* self, const IID& iid, void** object);
ExportedByJS0GROUP long Tie_GetTypeInfoCount(KelTieState& tie, unsigned int* count);
ExportedByJS0GROUP long Tie_GetTypeInfo(KelTieState& tie, unsigned int index, unsigned long locale, void** info);
ExportedByJS0GROUP long Tie_GetIDsOfNames(KelTieState& tie, const IID& iid, wchar_t** names, unsigned int count,
                                          unsigned long locale, long* ids);
ExportedByJS0GROUP long Tie_Invoke(KelTieState& tie, long member, const IID& iid, unsigned long locale,
                                   unsigned short flags, void* params, void* result, void* exceptionInfo,
                                   unsigned int* argumentError);

// The common part of every adaptor class: an Interface whose reference
// counting, queries and dispatch go through the Tie_ functions.
template <class Interface>
class KelTieBase : public Interface {
 public:
  KelTieBase(KelBaseUnknown* implementation, const KelMetaClass* interfaceMeta) {
    Tie_Construct(tie_, implementation, interfaceMeta);
  }
  ~KelTieBase() override { Tie_Destruct(tie_); }
  KelTieBase(const KelTieBase&) = delete;
  KelTieBase& operator=(const KelTieBase&) = delete;

  using Interface::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override { return Tie_Query(tie_, this, iid, object); }
  unsigned long AddRef() override { return Tie_AddRef(tie_); }
  unsigned long Release() override {
    unsigned long left = Tie_Release(tie_);
    if (left == 0) delete this;
    return left;
  }
  long GetTypeInfoCount(unsigned int* count) override { return Tie_GetTypeInfoCount(tie_, count); }
  long GetTypeInfo(unsigned int index, unsigned long locale, void** info) override {
    return Tie_GetTypeInfo(tie_, index, locale, info);
  }
  long GetIDsOfNames(const IID& iid, wchar_t** names, unsigned int count, unsigned long locale,
                     long* ids) override {
    return Tie_GetIDsOfNames(tie_, iid, names, count, locale, ids);
  }
  long Invoke(long member, const IID& iid, unsigned long locale, unsigned short flags, void* params, void* result,
              void* exceptionInfo, unsigned int* argumentError) override {
    return Tie_Invoke(tie_, member, iid, locale, flags, params, result, exceptionInfo, argumentError);
  }
  KelBaseUnknown* GetImpl(int) override { return tie_.implementation; }

 protected:
  KelBaseUnknown* Implementation() const { return tie_.implementation; }

 private:
  KelTieState tie_;
};
