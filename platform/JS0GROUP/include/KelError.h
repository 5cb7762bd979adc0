// KelError: the platform's error object, and the platform's result codes.
//
// Errors are KelBaseUnknown objects. They are raised in two ways: `raise()`
// throws a ThrowSmartPtr that holds its own reference on the error, and
// `raise_ptr()` throws the error's pointer, handing the raiser's reference to
// the catcher. KelError::Throw(error) raises an error and takes over the
// caller's reference, so `KelError::Throw(new KelInternalError(...))` leaks
// nothing. A caught error is discarded with Flush, which gives up the
// catcher's reference. The error guard (KelGuard.h) does the catching for
// library code.
//
// Result codes: GetReturn(1, ...) is a success code (S_OK); GetReturn(0, ...)
// is a negative code that remembers where it was made: the same source file
// and line always give the same code, and GetReturnOrigin tells a host where a
// code came from. Codes stay negative in a 64-bit `long`.
//
// Threading: an error object belongs to one thread at a time. The code
// registry behind GetReturn is guarded by a lock.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ExportedByJS0GROUP.h"
#include "KelBaseUnknown.h"
#include "KelUnicodeString.h"

// One entry of an error table: an error number, its message key and text.
struct KelErrDsc {
  unsigned int id;
  const char* msgId;
  const char* text;
};

class ExportedByJS0GROUP KelError : public KelBaseUnknown {
  KelDeclareClass

  // What `raise()` throws: a handle that holds one reference on the error.
  class ExportedByJS0GROUP ThrowSmartPtr {
   public:
    explicit ThrowSmartPtr(KelError* error);
    ThrowSmartPtr(const ThrowSmartPtr& other);
    ThrowSmartPtr& operator=(const ThrowSmartPtr& other);
    virtual ~ThrowSmartPtr();
    KelError* operator->() const { return error_; }
    KelError* get() const { return error_; }
    // Gives the held reference to the caller.
    KelError* Detach();

   private:
    KelError* error_;
  };

  KelError();
  explicit KelError(unsigned int id);
  KelError(unsigned int id, const char* msgId, const char* msgCatalog);
  KelError(const char* msgId, const char* msgCatalog);
  KelError(const KelError& other);
  KelError(KelError&& other) noexcept;
  KelError& operator=(const KelError& other);
  KelError& operator=(KelError&& other) noexcept;
  ~KelError() override;

  virtual unsigned int GetId() const;
  virtual const char* GetMsgId() const;
  virtual const char* GetMsgCatalog() const;
  virtual const char* GetSourceFileName() const;
  virtual void SetSourceFileName(const char* file);
  virtual int GetSourceLineNumber() const;
  virtual void SetSourceLineNumber(int line);
  // The full message: request, diagnostic and advice, one per line.
  virtual KelUnicodeString GetMessageText() const;
  virtual KelUnicodeString GetNLSMessage() const;
  virtual KelUnicodeString GetNLSRequest() const;
  virtual KelUnicodeString GetNLSDiagnostic() const;
  virtual KelUnicodeString GetNLSAdvice() const;
  virtual KelUnicodeString GetNLSSource() const;
  virtual const char* GetNLSHelpFile() const;
  virtual int GetNLSHelpContext() const;
  // Writes the message to standard error.
  virtual void Display() const;
  // Writes the message with its origin to `out` (standard error when null).
  virtual void PrintHistory(std::FILE* out = nullptr) const;
  // Parameters substituted for "/p1", "/p2", ... in the texts.
  virtual void SetNLSParameters(int count, const KelUnicodeString* parameters);
  virtual void SetNLSRequestParams(int count, const KelUnicodeString* parameters);
  virtual void SetNLSDiagnosticParams(int count, const KelUnicodeString* parameters);
  virtual void SetNLSAdviceParams(int count, const KelUnicodeString* parameters);
  virtual void SetSourceContext(const char* context);
  virtual const char* GetSourceContext() const;
  virtual long GetReturnCode() const;
  virtual void SetReturnCode(long code);
  virtual int GetInformationOnErrorType() const;
  virtual void SetInformationOnErrorType(int information);
  // A new copy of this error (one reference), or null when memory is short.
  virtual KelError* CloneSelf();
  [[noreturn]] virtual void raise();
  [[noreturn]] virtual void raise_ptr();
  virtual void GetErrorTable(unsigned int* length, const KelErrDsc** table);
  // Called by Throw just before the error leaves.
  virtual void OnBeforeThrow();

  // Records the place that raises the error; returns this error.
  KelError* Setup(const char* file, int line);

  // Texts of the request, diagnostic and advice, before parameters are put in.
  void SetNLSTexts(const char* request, const char* diagnostic = nullptr, const char* advice = nullptr);

  // Result codes: flag 1 gives the success code, flag 0 a failure code bound
  // to (file, line), or the error's own return code when it has a negative one.
  static long GetReturn(int flag, KelError* error, KelBaseUnknown* object, const char* file, int line);
  // Where a failure code from GetReturn was made. False for other codes.
  static bool GetReturnOrigin(long code, const char** file, int* line);

  // Discards a caught error: gives up the reference the catcher holds.
  static void Flush(KelError* error);
  // Raises `error`, taking over the caller's reference.
  [[noreturn]] static void Throw(KelError* error);
  // Raises the null-handle error: a smart handle was used while empty.
  [[noreturn]] static void ThrowErrorNullVar(const char* file = nullptr, int line = 0);
  // Raises the out-of-memory error (KelErrOutOfMemory): an allocation that a
  // result depends on was refused. When not even the error can be made,
  // raises std::bad_alloc, which KelGuard takes as the same error. An
  // extension of the stand-in.
  [[noreturn]] static void ThrowErrorOutOfMemory(const char* file = nullptr, int line = 0);

  static const KelErrDsc errorTable[];
  static const unsigned int errorTableLength;

 protected:
  // Looks the error's id up in this class's table to fill the request text.
  void ApplyErrorTable();

 private:
  unsigned int id_ = 0;
  std::string msg_id_;
  std::string msg_catalog_;
  std::string source_file_;
  int source_line_ = 0;
  std::string source_context_;
  long return_code_ = 0;
  int information_ = 0;
  KelUnicodeString request_, diagnostic_, advice_;
  std::vector<KelUnicodeString> request_params_, diagnostic_params_, advice_params_;
};

// Result codes bound to the place where they are made.
#define KelFailureCode() KelError::GetReturn(0, nullptr, nullptr, __FILE__, __LINE__)
#define KelSuccessCode() KelError::GetReturn(1, nullptr, nullptr, __FILE__, __LINE__)
