// KelEdsInternalError: the module's own error class in the platform's error
// system, registered as "KelEdsInternalError" in the framework
// "KelEngSystemDbServerClient" with KelInternalError as its base. It carries
// no state and no messages of its own; everything beyond its identity comes
// from KelInternalError and KelError. The library never raises it (it reports
// through result codes); it is exported for the host.
//
// Raising: raise() throws a KelEdsInternalError::ThrowSmartPtr, which holds
// its own reference and is caught by handlers for this class's, for
// KelInternalError's and for KelError's ThrowSmartPtr; the raiser keeps its
// reference. raise_ptr() throws this object's pointer and hands the raiser's
// reference to the catcher, which must Release it (KelError::Flush).
//
// Ownership: reference-counted like every KelBaseUnknown; CloneSelf returns a
// new object with one reference for the caller. Threading: an error object
// belongs to one thread at a time; the meta-object is fetched on first use
// without a lock (the registry hands out one object per name).
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelInternalError.h"

class ExportedByKelEdsUtil KelEdsInternalError : public KelInternalError {
  KelDeclareClass

      class ExportedByKelEdsUtil ThrowSmartPtr : public KelInternalError::ThrowSmartPtr {
   public:
    explicit ThrowSmartPtr(KelError* error) : KelInternalError::ThrowSmartPtr(error) {}
    ThrowSmartPtr(const ThrowSmartPtr& other) = default;
    ThrowSmartPtr& operator=(const ThrowSmartPtr& other) = default;
    ~ThrowSmartPtr() override;
  };

  KelEdsInternalError(KelEdsInternalError&& other) noexcept;
  KelEdsInternalError(const KelEdsInternalError& other);
  explicit KelEdsInternalError(unsigned int id);
  KelEdsInternalError(unsigned int id, const char* msgId, const char* msgCatalog);
  KelEdsInternalError(const char* msgId, const char* msgCatalog);
  ~KelEdsInternalError() override;
  KelEdsInternalError& operator=(const KelEdsInternalError& other);
  KelEdsInternalError& operator=(KelEdsInternalError&& other) noexcept;

  // A new copy of this error with one reference, or null when memory is short.
  KelError* CloneSelf() override;
  [[noreturn]] void raise() override;
  [[noreturn]] void raise_ptr() override;
  // The module's table has no entries: length 0, table errorTable.
  void GetErrorTable(unsigned int* length, const KelErrDsc** table) override;

  // Records the place that raises the error; returns this error.
  KelEdsInternalError* Setup(const char* file, int line);
  KelEdsInternalError* Self();

  // Always null: the class is not created by name.
  static KelBaseUnknown* CreateItself();

  static const KelErrDsc errorTable[];
  static const unsigned int errorTableLength;
};
