#include "KelDictionary.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Entry {
  std::string implementation;
  IID interfaceId;
  std::string interfaceName;
  KelTieFactory factory;
};

struct Dictionary {
  std::mutex lock;
  std::vector<Entry> entries;
};

Dictionary& TheDictionary() {
  static auto* dictionary = new Dictionary;
  return *dictionary;
}

}  // namespace

void KelFillDictionary(const KelDictionaryEntry* entries, int count) {
  if (entries == nullptr) return;
  Dictionary& dictionary = TheDictionary();
  std::lock_guard<std::mutex> hold(dictionary.lock);
  for (int i = 0; i < count; ++i) {
    const KelDictionaryEntry& in = entries[i];
    if (in.implementation == nullptr || in.interfaceId == nullptr || in.factory == nullptr) continue;
    Entry entry{in.implementation, *in.interfaceId, in.interfaceName != nullptr ? in.interfaceName : "", in.factory};
    bool replaced = false;
    for (Entry& old : dictionary.entries) {
      if (old.implementation == entry.implementation && old.interfaceId == entry.interfaceId) {
        old = entry;
        replaced = true;
      }
    }
    if (!replaced) dictionary.entries.push_back(entry);
  }
}

void KelEmptyDictionary(const char* implementation) {
  if (implementation == nullptr) return;
  Dictionary& dictionary = TheDictionary();
  std::lock_guard<std::mutex> hold(dictionary.lock);
  auto& entries = dictionary.entries;
  for (auto it = entries.begin(); it != entries.end();) {
    it = it->implementation == implementation ? entries.erase(it) : it + 1;
  }
}

KelTieFactory KelLookupDictionary(const char* implementation, const IID& interfaceId) {
  if (implementation == nullptr) return nullptr;
  Dictionary& dictionary = TheDictionary();
  std::lock_guard<std::mutex> hold(dictionary.lock);
  for (const Entry& entry : dictionary.entries) {
    if (entry.interfaceId == interfaceId && entry.implementation == implementation) return entry.factory;
  }
  return nullptr;
}

KelTieFactory KelLookupDictionary(const char* implementation, const char* interfaceName) {
  if (implementation == nullptr || interfaceName == nullptr) return nullptr;
  Dictionary& dictionary = TheDictionary();
  std::lock_guard<std::mutex> hold(dictionary.lock);
  for (const Entry& entry : dictionary.entries) {
    if (entry.interfaceName == interfaceName && entry.implementation == implementation) return entry.factory;
  }
  return nullptr;
}

void Tie_Construct(KelTieState& tie, KelBaseUnknown* implementation, const KelMetaClass* interfaceMeta) {
  tie.implementation = implementation;
  tie.interfaceMeta = interfaceMeta;
  tie.references = 1;
  if (implementation != nullptr) implementation->AddRef();
}

void Tie_Destruct(KelTieState& tie) {
  if (tie.implementation != nullptr) tie.implementation->Release();
  tie.implementation = nullptr;
}

unsigned long Tie_AddRef(KelTieState& tie) { return ++tie.references; }

unsigned long Tie_Release(KelTieState& tie) { return --tie.references; }

long Tie_Query(KelTieState& tie, KelBaseUnknown* self, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (tie.interfaceMeta != nullptr && iid == tie.interfaceMeta->GetClassId()) {
    Tie_AddRef(tie);
    *object = self;
    return S_OK;
  }
  if (tie.implementation == nullptr) return E_NOINTERFACE;
  return tie.implementation->QueryInterface(iid, object);
}

long Tie_GetTypeInfoCount(KelTieState& tie, unsigned int* count) {
  return tie.implementation != nullptr ? tie.implementation->GetTypeInfoCount(count) : E_NOTIMPL;
}
long Tie_GetTypeInfo(KelTieState& tie, unsigned int index, unsigned long locale, void** info) {
  return tie.implementation != nullptr ? tie.implementation->GetTypeInfo(index, locale, info) : E_NOTIMPL;
}
long Tie_GetIDsOfNames(KelTieState& tie, const IID& iid, wchar_t** names, unsigned int count, unsigned long locale,
                       long* ids) {
  return tie.implementation != nullptr ? tie.implementation->GetIDsOfNames(iid, names, count, locale, ids)
                                       : E_NOTIMPL;
}
long Tie_Invoke(KelTieState& tie, long member, const IID& iid, unsigned long locale, unsigned short flags,
                void* params, void* result, void* exceptionInfo, unsigned int* argumentError) {
  return tie.implementation != nullptr
             ? tie.implementation->Invoke(member, iid, locale, flags, params, result, exceptionInfo, argumentError)
             : E_NOTIMPL;
}
