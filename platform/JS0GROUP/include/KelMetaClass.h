// KelMetaClass: run-time description of a class or interface (name, kind,
// base, framework, identifier), and the registry that hands them out.
//
// fct_RetrieveMetaObject returns the same meta-object for the same class name,
// creating it on first request; meta-objects live until the process ends.
// IsAKindOf walks the base chain.
//
// Threading: the registry is guarded by a lock, so concurrent first requests
// for one name yield one object. Meta-objects are immutable once made.
#pragma once

#include <cstddef>

#include "ExportedByJS0GROUP.h"
#include "KelGUID.h"

enum KelClassKind { KelImplementationKind = 1, KelInterfaceKind = 2, KelExtensionKind = 3 };

class ExportedByJS0GROUP KelMetaClass {
 public:
  // A meta class made directly (interfaces make theirs this way).
  KelMetaClass(const IID& id, const char* name, const KelMetaClass* base = nullptr, int kind = KelInterfaceKind,
               const char* lateType = "KelNull", const char* framework = "", std::size_t instanceSize = 0);
  KelMetaClass(const KelMetaClass&) = delete;
  KelMetaClass& operator=(const KelMetaClass&) = delete;

  const char* GetName() const { return name_; }
  const _GUID& GetClassId() const { return id_; }
  int GetKind() const { return kind_; }
  const KelMetaClass* GetBase() const { return base_; }
  const char* GetLateType() const { return late_type_; }
  const char* GetFramework() const { return framework_; }
  std::size_t GetInstanceSize() const { return instance_size_; }

  // True when this class is `other` or derives from it.
  int IsAKindOf(const KelMetaClass* other) const;
  // True when this class or one of its bases has the name.
  int IsAKindOf(const char* className) const;

 private:
  _GUID id_;
  const char* name_;
  const KelMetaClass* base_;
  int kind_;
  const char* late_type_;
  const char* framework_;
  std::size_t instance_size_;
};

// The registry: the meta-object of the named class, made on first request.
// Its class identifier is derived from the name.
ExportedByJS0GROUP KelMetaClass* fct_RetrieveMetaObject(const char* className, int kind, const KelMetaClass* base,
                                                        const char* lateType, const char* framework,
                                                        std::size_t instanceSize);
