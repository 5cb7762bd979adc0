// KelVar<T>: the platform's smart handle on a reference-counted interface.
//
// A handle holds at most one reference. Copying a handle adds a reference;
// reassigning or destroying it releases the one it held. Built from a raw
// pointer it takes a reference of its own (the pointer's owner keeps his);
// Adopt takes over a reference that the caller already holds (what an
// out-parameter hands back). Calling through an empty handle raises the
// platform's null-handle error (KelError::ThrowErrorNullVar).
//
// Threading: a handle belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "KelError.h"

// The empty handle, for comparisons: `handle == NULL_var`.
constexpr std::nullptr_t NULL_var = nullptr;

template <class T>
class KelVar {
 public:
  KelVar() noexcept = default;
  KelVar(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  KelVar(T* object) noexcept : object_(object) {  // NOLINT(google-explicit-constructor)
    if (object_ != nullptr) object_->AddRef();
  }
  KelVar(const KelVar& other) noexcept : KelVar(other.object_) {}
  KelVar(KelVar&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  // A handle on a derived interface converts to a handle on its base.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  KelVar(const KelVar<U>& other) noexcept : KelVar(static_cast<T*>(other.get())) {}  // NOLINT
  ~KelVar() { Reset(); }

  KelVar& operator=(const KelVar& other) noexcept {
    Assign(other.object_);
    return *this;
  }
  KelVar& operator=(KelVar&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  KelVar& operator=(T* object) noexcept {
    Assign(object);
    return *this;
  }
  KelVar& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  // A handle that takes over a reference the caller holds. Extension of the
  // stand-in, not in the platform contract (docs/PLATFORM.md).
  static KelVar Adopt(T* object) noexcept {
    KelVar handle;
    handle.object_ = object;
    return handle;
  }
  // Gives the held reference to the caller and empties the handle.
  T* Detach() noexcept { return std::exchange(object_, nullptr); }
  void Reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->Release();
  }
  // Releases the current object and returns the slot, for raw out-parameters
  // that hand back a reference. Extension of the stand-in (docs/PLATFORM.md).
  T** Out() noexcept {
    Reset();
    return &object_;
  }

  T* operator->() const {
    if (object_ == nullptr) KelError::ThrowErrorNullVar();
    return object_;
  }
  T* get() const noexcept { return object_; }
  bool isNull() const noexcept { return object_ == nullptr; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  bool operator!() const noexcept { return object_ == nullptr; }

  friend bool operator==(const KelVar& a, std::nullptr_t) noexcept { return a.object_ == nullptr; }
  friend bool operator==(std::nullptr_t, const KelVar& a) noexcept { return a.object_ == nullptr; }
  friend bool operator!=(const KelVar& a, std::nullptr_t) noexcept { return a.object_ != nullptr; }
  friend bool operator!=(std::nullptr_t, const KelVar& a) noexcept { return a.object_ != nullptr; }
  friend bool operator==(const KelVar& a, const KelVar& b) noexcept { return a.object_ == b.object_; }
  friend bool operator!=(const KelVar& a, const KelVar& b) noexcept { return a.object_ != b.object_; }

 private:
  void Assign(T* object) noexcept {
    if (object != nullptr) object->AddRef();
    Reset();
    object_ = object;
  }

  T* object_ = nullptr;
};

// QueryInterface through a handle: the typed handle, empty when the object is
// empty or does not offer the interface. `code` receives the query's result.
// Extension of the stand-in, not in the platform contract (docs/PLATFORM.md).
template <class To, class From>
KelVar<To> KelQuery(const KelVar<From>& from, const IID& iid, long* code = nullptr) {
  long result = E_POINTER;
  To* typed = nullptr;
  if (from.get() != nullptr) result = from.get()->QueryInterface(iid, reinterpret_cast<void**>(&typed));
  if (code != nullptr) *code = result;
  return KelVar<To>::Adopt(result >= 0 ? typed : nullptr);
}
