#include "KelBaseUnknown.h"

#include <gtest/gtest.h>

#include "KelAllocator.h"
#include "KelDictionary.h"
#include "KelVar.h"

// A small object family for the tests: a counted object, one derived class,
// and an interface offered through the dictionary.
int g_alive = 0;

class Counted : public KelBaseUnknown {
  KelDeclareClass
  Counted() { ++g_alive; }
  ~Counted() override { --g_alive; }
};
KelImplementClass(Counted, KelImplementationKind, KelBaseUnknown, "KelNull", "Tests")

class DerivedCounted : public Counted {
  KelDeclareClass
};
KelImplementClass(DerivedCounted, KelImplementationKind, Counted, "KelNull", "Tests")

const IID IID_IGreeter = {0x1234, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

class IGreeter : public KelBaseUnknown {
 public:
  virtual int Greet() = 0;
};

class TieIGreeterCounted : public KelTieBase<IGreeter> {
 public:
  using KelTieBase::KelTieBase;
  int Greet() override { return Implementation()->IsAKindOf("DerivedCounted") ? 2 : 1; }
};

const KelMetaClass* GreeterMeta() {
  static KelMetaClass meta(IID_IGreeter, "IGreeter");
  return &meta;
}

KelBaseUnknown* CreateTieGreeter(KelBaseUnknown* implementation, KelBaseUnknown*) {
  return new TieIGreeterCounted(implementation, GreeterMeta());
}

namespace {

struct RegisterGreeter {
  RegisterGreeter() {
    KelDictionaryEntry entry{"Counted", &IID_IGreeter, "IGreeter", &CreateTieGreeter};
    KelFillDictionary(&entry, 1);
  }
} register_greeter;

TEST(KelBaseUnknown, ObjectsDieAtZeroReferencesAndHandlesHoldOneEach) {
  auto* object = new Counted;
  EXPECT_EQ(g_alive, 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(g_alive, 0);
  {
    auto handle = KelVar<Counted>::Adopt(new Counted);
    KelVar<Counted> copy = handle;
    EXPECT_EQ(handle->GetReferenceCount(), 2u);
    copy = nullptr;
    EXPECT_EQ(handle->GetReferenceCount(), 1u);
    KelVar<KelBaseUnknown> base = handle;  // derived to base
    EXPECT_EQ(handle->GetReferenceCount(), 2u);
    KelVar<Counted>& alias = handle;
    handle = alias;  // self-assignment keeps the object
    EXPECT_EQ(g_alive, 1);
  }
  EXPECT_EQ(g_alive, 0);
}

TEST(KelBaseUnknown, EmptyHandleRaisesTheNullHandleError) {
  KelVar<Counted> empty;
  EXPECT_TRUE(empty.isNull());
  EXPECT_TRUE(empty == NULL_var);
  try {
    empty->AddRef();
    FAIL() << "expected the null-handle error";
  } catch (KelError::ThrowSmartPtr& raised) {
    EXPECT_EQ(raised->GetId(), 1u);
    EXPECT_TRUE(raised->IsAKindOf("KelError"));
  }
}

TEST(KelBaseUnknown, MetaObjectsAnswerKindOfByNameAndObject) {
  auto handle = KelVar<DerivedCounted>::Adopt(new DerivedCounted);
  EXPECT_STREQ(handle->IsA(), "DerivedCounted");
  for (const char* kind : {"DerivedCounted", "Counted", "KelBaseUnknown"}) EXPECT_TRUE(handle->IsAKindOf(kind)) << kind;
  EXPECT_FALSE(handle->IsAKindOf("KelError"));
  EXPECT_FALSE(handle->IsAKindOf(nullptr));
  EXPECT_TRUE(DerivedCounted::MetaObject()->IsAKindOf(Counted::MetaObject()));
  EXPECT_FALSE(Counted::MetaObject()->IsAKindOf(DerivedCounted::MetaObject()));
  EXPECT_EQ(DerivedCounted::MetaObject()->GetBase(), Counted::MetaObject());
  // The registry gives one meta-object per name.
  KelMetaClass* first = fct_RetrieveMetaObject("SomeClass", KelImplementationKind, nullptr, "KelNull", "F", 8);
  KelMetaClass* again = fct_RetrieveMetaObject("SomeClass", KelImplementationKind, nullptr, "KelNull", "G", 16);
  KelMetaClass* other = fct_RetrieveMetaObject("OtherClass", KelImplementationKind, nullptr, "KelNull", "F", 8);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  EXPECT_NE(first->GetClassId(), other->GetClassId());
}

TEST(KelBaseUnknown, QueryInterfaceAnswersRootAndDictionaryInterfaces) {
  auto handle = KelVar<DerivedCounted>::Adopt(new DerivedCounted);
  void* raw = nullptr;
  ASSERT_EQ(handle->QueryInterface(IID_IUnknown, &raw), S_OK);
  EXPECT_EQ(raw, static_cast<void*>(static_cast<KelBaseUnknown*>(handle.get())));
  static_cast<KelBaseUnknown*>(raw)->Release();

  // The derived class inherits the base class's dictionary entry; the TIE
  // keeps the implementation alive after the caller's handle is gone.
  long code = 0;
  KelVar<IGreeter> greeter = KelQuery<IGreeter>(handle, IID_IGreeter, &code);
  ASSERT_TRUE(KelSucceeded(code));
  ASSERT_FALSE(greeter.isNull());
  handle = nullptr;
  EXPECT_EQ(g_alive, 1);
  EXPECT_EQ(greeter->Greet(), 2);
  KelVar<IGreeter> same = KelQuery<IGreeter>(greeter, IID_IGreeter);
  EXPECT_EQ(same.get(), greeter.get()) << "querying a TIE for its own interface gives the TIE";
  same = nullptr;
  greeter = nullptr;
  EXPECT_EQ(g_alive, 0);

  auto plain = KelVar<KelBaseUnknown>::Adopt(new Counted);
  const IID unknown = {9, 9, 9, {9, 9, 9, 9, 9, 9, 9, 9}};
  raw = &raw;
  EXPECT_EQ(plain->QueryInterface(unknown, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(plain->QueryInterface(unknown, nullptr), E_POINTER);
  EXPECT_EQ(plain->QueryInterface("IGreeter", &raw), S_OK);
  static_cast<IGreeter*>(raw)->Release();
}

TEST(KelBaseUnknown, AllocationFailureGivesNoObjectAndNoConstruction) {
  {
    KelAllocationFailureScope failing(0, 1);
    Counted* object = new Counted;
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(g_alive, 0);
    EXPECT_EQ(KelAllocationFailures(), 1);
  }
  {
    KelAllocationFailureScope secondFails(1, 1);
    auto first = KelVar<Counted>::Adopt(new Counted);
    Counted* second = new Counted;
    auto third = KelVar<Counted>::Adopt(new Counted);
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(second, nullptr);
    EXPECT_FALSE(third.isNull());
  }
  // A failing TIE allocation turns into E_OUTOFMEMORY.
  auto object = KelVar<Counted>::Adopt(new Counted);
  KelAllocationFailureScope failing(0, -1);
  void* raw = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_IGreeter, &raw), E_OUTOFMEMORY);
  EXPECT_EQ(raw, nullptr);
}

}  // namespace
