#include "KelMetaClass.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

// Class identifiers of registered classes are derived from their names, so
// they are stable from one run to the next.
_GUID IdFromName(const char* name) {
  std::uint64_t h1 = 1469598103934665603ull, h2 = 1099511628211ull;
  for (const char* p = name; *p != '\0'; ++p) {
    h1 = (h1 ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
    h2 = (h2 + static_cast<unsigned char>(*p)) * 6364136223846793005ull + 1442695040888963407ull;
  }
  _GUID id{};
  id.Data1 = static_cast<std::uint32_t>(h1 >> 32);
  id.Data2 = static_cast<std::uint16_t>(h1 >> 16);
  id.Data3 = static_cast<std::uint16_t>(h1);
  for (int i = 0; i < 8; ++i) id.Data4[i] = static_cast<std::uint8_t>(h2 >> (8 * i));
  return id;
}

struct Registry {
  std::mutex lock;
  std::map<std::string, KelMetaClass*> classes;
  std::map<std::string, std::string> texts;  // interned strings the meta classes point to

  const char* Intern(const char* text) {
    if (text == nullptr) text = "";
    auto it = texts.emplace(text, text).first;
    return it->second.c_str();
  }
};

// Never destroyed: meta-objects must outlive every static object that uses them.
Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

}  // namespace

KelMetaClass::KelMetaClass(const IID& id, const char* name, const KelMetaClass* base, int kind,
                           const char* lateType, const char* framework, std::size_t instanceSize)
    : id_(id),
      name_(name != nullptr ? name : ""),
      base_(base),
      kind_(kind),
      late_type_(lateType != nullptr ? lateType : ""),
      framework_(framework != nullptr ? framework : ""),
      instance_size_(instanceSize) {}

int KelMetaClass::IsAKindOf(const KelMetaClass* other) const {
  if (other == nullptr) return 0;
  for (const KelMetaClass* m = this; m != nullptr; m = m->base_) {
    if (m == other) return 1;
  }
  return 0;
}

int KelMetaClass::IsAKindOf(const char* className) const {
  if (className == nullptr) return 0;
  for (const KelMetaClass* m = this; m != nullptr; m = m->base_) {
    if (std::strcmp(m->name_, className) == 0) return 1;
  }
  return 0;
}

KelMetaClass* fct_RetrieveMetaObject(const char* className, int kind, const KelMetaClass* base,
                                     const char* lateType, const char* framework, std::size_t instanceSize) {
  if (className == nullptr) return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto found = registry.classes.find(className);
  if (found != registry.classes.end()) return found->second;
  const char* name = registry.Intern(className);
  auto* meta = new KelMetaClass(IdFromName(name), name, base, kind, registry.Intern(lateType),
                                registry.Intern(framework), instanceSize);
  registry.classes.emplace(name, meta);
  return meta;
}
