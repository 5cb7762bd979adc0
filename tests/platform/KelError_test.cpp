#include "KelError.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>

#include "KelAllocator.h"
#include "KelGuard.h"
#include "KelInternalError.h"
#include "KelSysLog.h"

namespace {

TEST(KelErrorCodes, StayNegativeInALongAndAreTraceable) {
  EXPECT_LT(E_FAIL, 0);  // sign-extended in a 64-bit long
  EXPECT_EQ(static_cast<unsigned long>(E_FAIL) & 0xFFFFFFFFul, 0x80004005ul);

  EXPECT_EQ(KelError::GetReturn(1, nullptr, nullptr, "some/file", 10), S_OK);
  long a = KelError::GetReturn(0, nullptr, nullptr, "some/file", 10);
  long b = KelError::GetReturn(0, nullptr, nullptr, "some/file", 11);
  std::string sameName = "some/file";  // same text at another address
  long again = KelError::GetReturn(0, nullptr, nullptr, sameName.c_str(), 10);
  EXPECT_LT(a, 0);
  EXPECT_LT(b, 0);
  EXPECT_GE(a, static_cast<long>(INT_MIN));
  EXPECT_NE(a, b);
  EXPECT_EQ(a, again);

  const char* file = nullptr;
  int line = 0;
  ASSERT_TRUE(KelError::GetReturnOrigin(b, &file, &line));
  EXPECT_STREQ(file, "some/file");
  EXPECT_EQ(line, 11);
  EXPECT_FALSE(KelError::GetReturnOrigin(E_FAIL, &file, &line));
  EXPECT_FALSE(KelError::GetReturnOrigin(S_OK, &file, &line));

  auto* error = new KelError;
  error->SetReturnCode(E_INVALIDARG);
  EXPECT_EQ(KelError::GetReturn(0, error, nullptr, "x", 1), E_INVALIDARG) << "an error's own code wins";
  error->Release();
}

TEST(KelGuard, FlushesPlatformErrorsAndRaisesAnythingElseAgain) {
  EXPECT_TRUE(KelGuard([] {}));
  EXPECT_FALSE(KelGuard([] { KelError::Throw(new KelInternalError(KelErrOutOfRange)); }));
  EXPECT_FALSE(KelGuard([] { (new KelError(7u))->raise_ptr(); }));
  EXPECT_FALSE(KelGuard([] { KelError::ThrowErrorNullVar(__FILE__, __LINE__); }));
  // Memory running out is the platform's error however it is raised, even when
  // not even the error object can be made.
  EXPECT_FALSE(KelGuard([] { KelError::ThrowErrorOutOfMemory(__FILE__, __LINE__); }));
  EXPECT_FALSE(KelGuard([] { throw std::bad_alloc(); }));
  EXPECT_FALSE(KelGuard([] {
    const KelAllocationFailureScope refuse(0, -1);
    KelError::ThrowErrorOutOfMemory(__FILE__, __LINE__);
  }));
  EXPECT_FALSE(KelGuard([] { KelCheckMemory(E_OUTOFMEMORY); }));
  long failed = 1, passed = 1;
  EXPECT_TRUE(KelGuard([&] { failed = KelCheckMemory(E_FAIL), passed = KelCheckMemory(S_OK); }));
  EXPECT_EQ(failed, E_FAIL) << "other codes pass through";
  EXPECT_EQ(passed, S_OK);
  // Under LeakSanitizer, every error above must have been released by now.

  EXPECT_THROW(KelGuard([] { throw std::runtime_error("not a platform error"); }), std::runtime_error);
  EXPECT_THROW(KelGuard([] { throw 42; }), int);
  bool innerCaught = false;
  EXPECT_THROW(KelGuard([&] {
                 innerCaught = !KelGuard([] { KelError::Throw(new KelError); });
                 throw std::logic_error("after");
               }),
               std::logic_error);
  EXPECT_TRUE(innerCaught);
}

TEST(KelError, RaisedErrorsReachHandlersOfTheirClassAndItsBases) {
  auto* error = new KelInternalError(KelErrNullVar);
  error->Setup("where.cpp", 12);
  try {
    KelError::Throw(error);
  } catch (KelInternalError::ThrowSmartPtr& raised) {
    EXPECT_EQ(raised.get(), error);
    EXPECT_EQ(raised->GetReferenceCount(), 1u) << "Throw hands the caller's reference to the raised handle";
    EXPECT_EQ(raised->GetSourceLineNumber(), 12);
  }
  try {
    KelError::Throw(new KelInternalError(KelErrNullVar));
  } catch (KelError::ThrowSmartPtr& raised) {
    EXPECT_STREQ(raised->IsA(), "KelInternalError");
  }
  // raise_ptr hands the reference to the catcher.
  error = new KelInternalError(KelErrNullVar);
  try {
    error->raise_ptr();
  } catch (KelInternalError* caught) {
    EXPECT_EQ(caught, error);
    EXPECT_EQ(caught->GetReferenceCount(), 1u);
    KelError::Flush(caught);
  }
}

TEST(KelError, MessagesComeFromTheErrorTableWithParameters) {
  KelInternalError error(KelErrOutOfRange);
  KelUnicodeString parameters[] = {"3", "2"};
  error.SetNLSRequestParams(2, parameters);
  EXPECT_EQ(error.GetNLSRequest(), KelUnicodeString("Position 3 is outside the list of 2 entries."));
  EXPECT_STREQ(error.GetMsgId(), "KelErrOutOfRange");
  error.SetNLSTexts("request /p1", "diagnostic", "advice /p9");
  EXPECT_EQ(error.GetNLSMessage(), KelUnicodeString("request 3\ndiagnostic\nadvice /p9"));
}

TEST(KelError, CloneSelfCopiesAndFailsCleanly) {
  KelInternalError original(KelErrNullVar);
  original.Setup("file.cpp", 3);
  KelError* clone = original.CloneSelf();
  ASSERT_NE(clone, nullptr);
  EXPECT_STREQ(clone->IsA(), "KelInternalError");
  EXPECT_STREQ(clone->GetSourceFileName(), "file.cpp");
  EXPECT_EQ(clone->GetReferenceCount(), 1u);
  clone->Release();
  KelAllocationFailureScope failing(0, 1);
  EXPECT_EQ(original.CloneSelf(), nullptr);
}

void Capture(const char* message, void* context) { static_cast<std::string*>(context)->append(message).append("|"); }

TEST(KelSysLog, SinkCapturesMessagesAndCanBeRemoved) {
  std::string captured;
  void* previousContext = nullptr;
  KelSysLogSink previous = KelSetSysLogSink(&Capture, &captured, &previousContext);
  KelSysLogAbend("first");
  KelSysLogAbend(nullptr);
  KelSetSysLogSink(previous, previousContext);
  EXPECT_EQ(captured, "first||");
}

}  // namespace
