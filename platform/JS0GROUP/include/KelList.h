// KelList<T>: the platform's 1-based list, the one template behind every list
// type (KelListValKelUnicodeString, KelRawCollint, KelRawColldouble,
// KelListPtrKelBaseUnknown).
//
// Positions run from 1 to Size(). A position outside that range is a
// programming error: it raises the platform's out-of-range KelError (caught by
// the error guard like any platform error) and never touches memory outside the
// list. Locate answers 0 for "absent".
//
// Ownership: the list owns its values; a list of pointers owns only the
// pointers, not what they point to. Threading: like any value type.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "ExportedByJS0GROUP.h"

// Raises the platform's out-of-range error (a KelInternalError).
[[noreturn]] ExportedByJS0GROUP void KelRaiseOutOfRange(int position, int size);

template <class T>
class KelList {
 public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  KelList() = default;
  KelList(std::initializer_list<T> values) : items_(values) {}

  int Size() const { return static_cast<int>(items_.size()); }
  bool IsEmpty() const { return items_.empty(); }

  T& operator[](int position) { return items_[Index(position)]; }
  const T& operator[](int position) const { return items_[Index(position)]; }

  void Append(const T& value) { items_.push_back(value); }
  void Append(T&& value) { items_.push_back(std::move(value)); }
  void Append(const KelList& other) {
    if (&other == this) {
      items_.reserve(items_.size() * 2);
      const std::size_t n = items_.size();
      for (std::size_t i = 0; i < n; ++i) items_.push_back(items_[i]);
      return;
    }
    items_.insert(items_.end(), other.items_.begin(), other.items_.end());
  }

  // 1-based position of the first entry equal to `value` at or after `start`,
  // or 0 when there is none.
  int Locate(const T& value, int start = 1) const {
    if (start < 1) start = 1;
    for (std::size_t i = static_cast<std::size_t>(start - 1); i < items_.size(); ++i) {
      if (items_[i] == value) return static_cast<int>(i) + 1;
    }
    return 0;
  }

  // Inserts `value` so that it stands at `position` (1 to Size() + 1).
  void InsertAt(int position, const T& value) {
    if (position < 1 || position > Size() + 1) KelRaiseOutOfRange(position, Size());
    items_.insert(items_.begin() + (position - 1), value);
  }

  void RemovePosition(int position) { items_.erase(items_.begin() + static_cast<long>(Index(position))); }
  void RemoveAll() { items_.clear(); }
  void Reserve(int count) { items_.reserve(static_cast<std::size_t>(std::max(count, 0))); }

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

  const std::vector<T>& Values() const { return items_; }

  friend bool operator==(const KelList& a, const KelList& b) { return a.items_ == b.items_; }
  friend bool operator!=(const KelList& a, const KelList& b) { return a.items_ != b.items_; }

 private:
  std::size_t Index(int position) const {
    if (position < 1 || position > Size()) KelRaiseOutOfRange(position, Size());
    return static_cast<std::size_t>(position - 1);
  }

  std::vector<T> items_;
};
