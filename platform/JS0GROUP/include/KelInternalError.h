// KelInternalError: the platform's error for internal faults (a handle used
// while empty, a list position out of range, ...). Library error classes
// derive from it.
//
// Ownership and threading: as KelError.
#pragma once

#include "ExportedByJS0GROUP.h"
#include "KelError.h"

// Error numbers of the platform's own internal errors.
enum KelInternalErrorId : unsigned int {
  KelErrNullVar = 1,     // a smart handle was used while empty
  KelErrOutOfRange = 2,  // a list position outside the list
  KelErrOutOfMemory = 3,  // an allocation was refused (an extension of the stand-in)
};

class ExportedByJS0GROUP KelInternalError : public KelError {
  KelDeclareClass

  class ExportedByJS0GROUP ThrowSmartPtr : public KelError::ThrowSmartPtr {
   public:
    explicit ThrowSmartPtr(KelError* error) : KelError::ThrowSmartPtr(error) {}
    ThrowSmartPtr(const ThrowSmartPtr& other) = default;
    ThrowSmartPtr& operator=(const ThrowSmartPtr& other) = default;
    ~ThrowSmartPtr() override;
  };

  KelInternalError() = default;
  explicit KelInternalError(unsigned int id);
  KelInternalError(unsigned int id, const char* msgId, const char* msgCatalog);
  KelInternalError(const char* msgId, const char* msgCatalog);
  KelInternalError(const KelInternalError& other) = default;
  KelInternalError(KelInternalError&& other) noexcept = default;
  KelInternalError& operator=(const KelInternalError& other) = default;
  KelInternalError& operator=(KelInternalError&& other) noexcept = default;
  ~KelInternalError() override;

  KelError* CloneSelf() override;
  [[noreturn]] void raise() override;
  [[noreturn]] void raise_ptr() override;
  void GetErrorTable(unsigned int* length, const KelErrDsc** table) override;

  static const KelErrDsc errorTable[];
  static const unsigned int errorTableLength;
};
