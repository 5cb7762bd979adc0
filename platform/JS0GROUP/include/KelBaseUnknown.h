// KelBaseUnknown: the platform's reference-counted root class.
//
// An object starts with one reference, held by its creator; AddRef and Release
// count references and Release deletes the object at zero. QueryInterface
// gives a new reference on this object for IID_IUnknown / IID_KelBaseUnknown,
// or for an interface registered for the object's class (or a base class) in
// the interface dictionary (KelDictionary.h), through that entry's adaptor.
//
// Objects are allocated with the class's operator new, which returns null
// (instead of throwing) when memory cannot be had, so `new Derived(...)` must
// be tested. The meta-object operations (GetMetaObject, IsA, IsAKindOf) answer
// from the class's KelMetaClass; derived classes declare theirs with the
// KelDeclareClass / KelImplementClass macros below.
//
// Threading: reference counts are not atomic; an object and the handles on it
// belong to one thread at a time.
#pragma once

#include <cstddef>

#include "ExportedByJS0GROUP.h"
#include "KelGUID.h"
#include "KelMetaClass.h"
#include "KelResultCodes.h"

// The dispatch roots, as the platform's objects are laid out.
class ExportedByJS0GROUP IUnknown {
 public:
  virtual long QueryInterface(const IID& iid, void** object) = 0;
  virtual unsigned long AddRef() = 0;
  virtual unsigned long Release() = 0;

 protected:
  ~IUnknown() = default;
};

class ExportedByJS0GROUP IDispatch : public IUnknown {
 public:
  virtual long GetTypeInfoCount(unsigned int* count) = 0;
  virtual long GetTypeInfo(unsigned int index, unsigned long locale, void** typeInfo) = 0;
  virtual long GetIDsOfNames(const IID& iid, wchar_t** names, unsigned int count, unsigned long locale,
                             long* ids) = 0;
  virtual long Invoke(long member, const IID& iid, unsigned long locale, unsigned short flags, void* params,
                      void* result, void* exceptionInfo, unsigned int* argumentError) = 0;

 protected:
  ~IDispatch() = default;
};

class ExportedByJS0GROUP KelBaseUnknown : public IDispatch {
 public:
  KelBaseUnknown() = default;
  // A copy is a new object: it starts with its own single reference.
  KelBaseUnknown(const KelBaseUnknown&) : references_(1) {}
  KelBaseUnknown& operator=(const KelBaseUnknown&) { return *this; }

  // IUnknown
  long QueryInterface(const IID& iid, void** object) override;
  unsigned long AddRef() override;
  unsigned long Release() override;
  // IDispatch: no type information is offered.
  long GetTypeInfoCount(unsigned int* count) override;
  long GetTypeInfo(unsigned int index, unsigned long locale, void** typeInfo) override;
  long GetIDsOfNames(const IID& iid, wchar_t** names, unsigned int count, unsigned long locale,
                     long* ids) override;
  long Invoke(long member, const IID& iid, unsigned long locale, unsigned short flags, void* params, void* result,
              void* exceptionInfo, unsigned int* argumentError) override;

  // QueryInterface by interface name, through the interface dictionary.
  virtual long QueryInterface(const char* interfaceName, void** object);
  virtual ~KelBaseUnknown();
  virtual KelMetaClass* GetMetaObject() const;
  virtual const char* IsA() const;
  virtual int IsAKindOf(const char* className) const;
  // The implementation behind an adaptor (the object itself for a plain object).
  virtual KelBaseUnknown* GetImpl(int flag = 0);
  virtual void SetImpl(KelBaseUnknown* implementation);
  virtual int IsNull() const;
  virtual int IsEqual(const KelBaseUnknown* other) const;
  virtual long ChangeComponentState(int fromState, int toState, int flags);

  static KelMetaClass* MetaObject();
  static const char* ClassName();
  static const _GUID& ClassId();

  unsigned long GetReferenceCount() const { return references_; }

  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void*, void*) noexcept {}

 private:
  unsigned long references_ = 1;
};

// Meta-object boilerplate of a class derived from KelBaseUnknown.
#define KelDeclareClass                                   \
 public:                                                  \
  static KelMetaClass* MetaObject();                      \
  static const char* ClassName();                         \
  static const _GUID& ClassId();                          \
  KelMetaClass* GetMetaObject() const override;           \
  const char* IsA() const override;                       \
  int IsAKindOf(const char* className) const override;    \
                                                          \
 private:                                                 \
  static KelMetaClass* meta_object;                       \
                                                          \
 public:

// The meta-object is fetched from the registry on first use and kept; the
// registry returns the same object for the same name, so a race on first use
// stores the same pointer twice.
#define KelImplementClass(Class, Kind, Base, LateType, Framework)                                               \
  KelMetaClass* Class::meta_object = nullptr;                                                                    \
  KelMetaClass* Class::MetaObject() {                                                                            \
    if (meta_object == nullptr)                                                                                  \
      meta_object = fct_RetrieveMetaObject(#Class, Kind, Base::MetaObject(), LateType, Framework, sizeof(Class)); \
    return meta_object;                                                                                          \
  }                                                                                                              \
  const char* Class::ClassName() { return MetaObject()->GetName(); }                                             \
  const _GUID& Class::ClassId() { return MetaObject()->GetClassId(); }                                           \
  KelMetaClass* Class::GetMetaObject() const { return MetaObject(); }                                            \
  const char* Class::IsA() const { return ClassName(); }                                                         \
  int Class::IsAKindOf(const char* className) const { return MetaObject()->IsAKindOf(className); }
