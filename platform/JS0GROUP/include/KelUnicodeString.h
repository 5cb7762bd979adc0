// KelUnicodeString: the platform's string.
//
// Holds UTF-16 text (positions and lengths count UTF-16 code units from 0)
// plus a null flag: a default-constructed string is null until it is given a
// value; an empty string that was assigned is not null. Comparison is on the
// whole text, case-sensitive; a null string and an empty one compare equal.
//
// Conversions to and from UTF-8 are exact for every code point, including
// those outside the Basic Multilingual Plane. Malformed UTF-8 never reads past
// its buffer: each ill-formed sequence decodes as U+FFFD. An unpaired
// surrogate encodes as U+FFFD.
//
// A string may hold its text as UTF-8 only (AdoptUTF8, for the large texts a
// writer produces or a parser reads) and form the UTF-16 units at the first member that needs
// them; its UTF-8 conversions are then copies. Such bytes are never changed
// and are shared by the string's copies (copying a large document costs
// nothing until one of them changes or forms its units).
//
// Ownership: a value type. Threading: reading members may fill the string's
// caches (the UTF-8 form, the UTF-16 units), so one object is used by one
// thread at a time; distinct objects, copies included, are independent (the
// bytes copies share are counted atomically and never written).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "ExportedByJS0GROUP.h"

class ExportedByJS0GROUP KelUnicodeString {
 public:
  // Modes of SearchSubString.
  enum SearchMode { Forward = 1, Backward = 2 };
  // Modes of Strip.
  enum StripMode { Leading = 1, Trailing = 2, Both = 3 };

  KelUnicodeString() = default;
  // Decodes a zero-terminated UTF-8 text; a null pointer gives a null string.
  KelUnicodeString(const char* utf8);  // NOLINT(google-explicit-constructor)
  KelUnicodeString(const std::string& utf8);  // NOLINT(google-explicit-constructor)
  explicit KelUnicodeString(std::u16string text) : text_(std::move(text)), null_(false) {}
  KelUnicodeString(const KelUnicodeString& other)
      : text_(other.text_),
        null_(other.null_),
        utf16_valid_(other.utf16_valid_),
        utf8_valid_(other.utf8_valid_),
        utf8_(other.utf8_),
        adopted_(other.adopted_) {
    if (adopted_ != nullptr) Share();
  }
  // The moved-from string is left empty, its null flag as it was.
  KelUnicodeString(KelUnicodeString&& other) noexcept
      : text_(std::move(other.text_)),
        null_(other.null_),
        utf16_valid_(other.utf16_valid_),
        utf8_valid_(other.utf8_valid_),
        utf8_(std::move(other.utf8_)),
        adopted_(other.adopted_) {
    other.adopted_ = nullptr;
    other.text_.clear();
    other.utf8_.clear();
    other.utf16_valid_ = true;
    other.utf8_valid_ = false;
  }
  KelUnicodeString& operator=(const KelUnicodeString& other);
  KelUnicodeString& operator=(KelUnicodeString&& other) noexcept;
  ~KelUnicodeString() {
    if (adopted_ != nullptr) Unshare();
  }

  bool IsNull() const { return null_; }
  int GetLengthInChar() const { return static_cast<int>(Units().size()); }
  bool IsEmpty() const { return utf16_valid_ ? text_.empty() : adopted_ == nullptr && utf8_.empty(); }

  // Position of `text` in this string, or -1. Forward: the first match that
  // starts at or after `start`. Backward: the last match that starts at or
  // before position length - 1 - `start` (so 0 searches from the last
  // character). An empty `text` or a start outside the string gives -1.
  int SearchSubString(const KelUnicodeString& text, int start = 0, int mode = Forward) const;

  // The `length` characters from `start`, clipped to the string; never null.
  KelUnicodeString SubString(int start, int length) const;

  // A copy without the given character at the start (Leading), the end
  // (Trailing) or both ends (Both).
  [[nodiscard]] KelUnicodeString Strip(int mode = Both, char16_t character = u' ') const;

  // Reads a number as sscanf would with "%d" (or "%f"/"%lf" for a double):
  // leading blanks, an optional sign, digits. Returns the count of items
  // converted (1 or 0); the output is untouched when nothing converts,
  // including a number that does not fit the output type.
  int ConvertToNum(int* value, const char* format = "%d") const;
  int ConvertToNum(double* value, const char* format = "%lf") const;

  // Replaces the text with the number written with a printf format ("%d",
  // "%g", ...). Returns the number of characters written.
  int BuildFromNum(int value, const char* format = "%d");
  int BuildFromNum(double value, const char* format = "%g");

  // The text as zero-terminated UTF-8, valid until this string next changes.
  const char* ConvertToChar() const;

  // Replaces the text with `length` bytes of UTF-8. Returns the number of
  // UTF-16 units produced.
  int BuildFromUTF8(const char* utf8, std::size_t length);

  // Writes the text as UTF-8 into `buffer`. On entry `*bytes` is the room in
  // `buffer`; on return it is the number of bytes written (whole characters
  // only). A terminating zero follows when there is room for it. A text of n
  // units never needs more than 3n bytes.
  void ConvertToUTF8(char* buffer, std::size_t* bytes) const;
  // The number of bytes ConvertToUTF8 writes for the whole text (an unpaired
  // surrogate counts as U+FFFD), without the terminating zero.
  std::size_t GetLengthInUTF8() const;

  KelUnicodeString& Append(const KelUnicodeString& other);
  KelUnicodeString& operator+=(const KelUnicodeString& other) { return Append(other); }
  KelUnicodeString& operator+=(const char* utf8) { return Append(KelUnicodeString(utf8)); }

  // Modern conveniences.
  std::string ToUTF8() const;
  const std::u16string& Data() const { return Units(); }
  // Extension of the stand-in, not in the platform contract (docs/PLATFORM.md).
  std::u16string_view View() const { return Units(); }
  static KelUnicodeString FromUTF8(std::string_view utf8);
  // Extension of the stand-in, used by its XML writer and by the library to
  // hand a document's bytes to the parser (docs/PLATFORM.md): a
  // string that takes over `utf8` as its text, without converting it. Bytes
  // that are not well-formed UTF-8 are decoded at once, as FromUTF8 does.
  static KelUnicodeString AdoptUTF8(std::string utf8);
  // The same for `length` bytes at `bytes`, a block from std::malloc or
  // std::realloc with room for one byte more (the string writes a zero
  // there), which the string frees with std::free: a writer grows such a
  // block in place where the allocator can, and the text is never copied.
  static KelUnicodeString AdoptUTF8(char* bytes, std::size_t length);
  // True when the string holds its text as UTF-8 only, so that a copy shares
  // the bytes (extension of the stand-in, used by its in-memory sources).
  bool HoldsUTF8Only() const { return !utf16_valid_; }

  friend bool operator==(const KelUnicodeString& a, const KelUnicodeString& b) { return a.Units() == b.Units(); }
  friend bool operator!=(const KelUnicodeString& a, const KelUnicodeString& b) { return a.Units() != b.Units(); }
  friend bool operator<(const KelUnicodeString& a, const KelUnicodeString& b) { return a.Units() < b.Units(); }
  friend KelUnicodeString operator+(KelUnicodeString a, const KelUnicodeString& b) { return a.Append(b); }

 private:
  // The UTF-16 units, formed from the UTF-8 text when the string holds only that.
  const std::u16string& Units() const {
    if (!utf16_valid_) Widen();
    return text_;
  }
  void Widen() const;
  // Empties both forms (the null flag stays).
  void Forget();
  // Called before the units change: the UTF-8 form no longer holds.
  void Changed() {
    Units();
    utf8_valid_ = false;
    if (adopted_ != nullptr) Unshare();
  }
  // The UTF-8 form, when it is valid.
  std::string_view Utf8Form() const;
  // Counts one more holder of the adopted bytes; lets go of them.
  void Share() const;
  void Unshare();

  // At least one of the two forms is valid at any time.
  mutable std::u16string text_;
  bool null_ = true;
  mutable bool utf16_valid_ = true;
  mutable bool utf8_valid_ = false;
  mutable std::string utf8_;
  // Bytes taken over whole (AdoptUTF8), shared by the copies: when set, they
  // are the UTF-8 form and `utf8_` is empty.
  struct Adopted;
  Adopted* adopted_ = nullptr;
  // A string whose text is `adopted`, which it holds from then on.
  static KelUnicodeString Holding(Adopted* adopted);
};

// UTF-8 <-> UTF-16 conversion shared by the platform libraries.
namespace KelUtf {
// Appends the UTF-16 form of `length` bytes of UTF-8 to `out`.
ExportedByJS0GROUP void AppendUtf16(const char* utf8, std::size_t length, std::u16string& out);
// Appends the UTF-8 form of UTF-16 text to `out`.
ExportedByJS0GROUP void AppendUtf8(std::u16string_view utf16, std::string& out);
}  // namespace KelUtf

template <>
struct std::hash<KelUnicodeString> {
  std::size_t operator()(const KelUnicodeString& s) const noexcept { return std::hash<std::u16string>()(s.Data()); }
};
