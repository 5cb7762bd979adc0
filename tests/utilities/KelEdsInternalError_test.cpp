#include "KelEdsInternalError.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "KelAllocator.h"
#include "KelGuard.h"

namespace {

KelEdsInternalError* NewError() {
  auto* error = new KelEdsInternalError(7, "KelEdsTestId", "KelEdsTestCatalog");
  EXPECT_NE(error, nullptr);
  return error;
}

// raise() keeps the raiser's reference; the handle holds one more while in flight.
template <class Handle>
void ExpectCaughtAs(KelEdsInternalError* error) {
  try {
    error->raise();
  } catch (Handle& caught) {
    EXPECT_EQ(caught.get(), error);
    EXPECT_EQ(error->GetReferenceCount(), 2u);
  }
  EXPECT_EQ(error->GetReferenceCount(), 1u);
}

// raise_ptr() hands the raiser's reference to the catcher.
template <class Pointer>
void ExpectRaisedPointerCaughtAs(KelEdsInternalError* error) {
  try {
    error->raise_ptr();
  } catch (Pointer* caught) {
    EXPECT_EQ(caught, static_cast<Pointer*>(error));
    caught->Release();
  }
}

TEST(KelEdsInternalError, RaisedErrorsAreCaughtInEachOfTheirForms) {
  KelEdsInternalError* error = NewError();
  ExpectCaughtAs<KelError::ThrowSmartPtr>(error);
  ExpectCaughtAs<KelInternalError::ThrowSmartPtr>(error);
  ExpectCaughtAs<KelEdsInternalError::ThrowSmartPtr>(error);
  ExpectRaisedPointerCaughtAs<KelError>(error);
  ExpectRaisedPointerCaughtAs<IUnknown>(new KelEdsInternalError(7u));
  // The guard flushes both forms.
  EXPECT_FALSE(KelGuard([] { KelError::Throw(NewError()); }));
  EXPECT_FALSE(KelGuard([] { NewError()->raise_ptr(); }));
}

// Each accessor may be the one that fetches the meta-object. The check runs
// in a fresh process so that nothing has fetched it before.
class FirstMetaAccess : public ::testing::TestWithParam<int> {};

int MetaObjectAgrees(int first) {
  KelEdsInternalError error("KelEdsTestId", "KelEdsTestCatalog");
  const std::function<void()> accessors[] = {
      [] { KelEdsInternalError::ClassName(); },  [&] { error.IsA(); },
      [] { KelEdsInternalError::MetaObject(); }, [&] { error.GetMetaObject(); },
      [] { KelEdsInternalError::ClassId(); },    [&] { error.IsAKindOf("KelError"); },
  };
  accessors[first]();
  const KelMetaClass* meta = KelEdsInternalError::MetaObject();
  const bool agree = meta == error.GetMetaObject() && std::strcmp(error.IsA(), "KelEdsInternalError") == 0 &&
                     KelEdsInternalError::ClassName() == error.IsA() &&
                     meta->GetBase() == KelInternalError::MetaObject() &&
                     &KelEdsInternalError::ClassId() == &meta->GetClassId() && error.IsAKindOf("KelError");
  return agree ? 0 : 1;
}

TEST_P(FirstMetaAccess, GivesTheSameRegistration) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // re-executes: the meta-object starts unfetched
  EXPECT_EXIT(std::exit(MetaObjectAgrees(GetParam())), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(KelEdsInternalError, FirstMetaAccess, ::testing::Range(0, 6));

TEST(KelEdsInternalError, CloneSelfCopiesTheError) {
  KelEdsInternalError* error = NewError()->Setup("origin.cpp", 12);
  ASSERT_EQ(error->Self(), error);
  KelError* clone = error->CloneSelf();
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone, error);
  EXPECT_STREQ(clone->IsA(), "KelEdsInternalError");
  EXPECT_EQ(clone->GetId(), 7u);
  EXPECT_STREQ(clone->GetMsgId(), "KelEdsTestId");
  EXPECT_STREQ(clone->GetMsgCatalog(), "KelEdsTestCatalog");
  EXPECT_EQ(clone->GetSourceLineNumber(), 12);
  EXPECT_EQ(clone->GetReferenceCount(), 1u);
  unsigned int length = 99;
  clone->GetErrorTable(&length, nullptr);
  EXPECT_EQ(length, 0u);  // the module's table has no entries
  EXPECT_EQ(KelEdsInternalError::CreateItself(), nullptr);
  clone->Release();
  {
    KelAllocationFailureScope failing(0, 1);  // a clone is whole or not there at all
    EXPECT_EQ(error->CloneSelf(), nullptr);
  }
  error->Release();
}

}  // namespace
