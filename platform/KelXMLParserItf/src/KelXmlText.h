// Text crossing between the platform's UTF-16 strings and libxml2's UTF-8,
// and the lexical checks that keep every document writable as XML.
#pragma once

#include <libxml/xmlstring.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "KelUnicodeString.h"

namespace kelxml {

// The longest text (in UTF-8 bytes) handed to libxml2 in one piece; libxml2
// counts lengths in int, and refuses longer text when parsing anyway.
constexpr std::size_t kMaxTextBytes = 1000000000;

// The UTF-8 form of a platform string (a null string gives "").
std::string Utf8(const KelUnicodeString& text);
// The UTF-8 form of a platform string for the length of one call: names and
// values that are short and ASCII, as most are, are narrowed into a buffer on
// the stack, eight units at a time with SSE2, else four (read as one
// little-endian word, as on every system the library is built for); any
// other goes through Utf8.
class Utf8Text {
 public:
  explicit Utf8Text(const KelUnicodeString& text) {
    const std::u16string_view units = text.View();
    if (units.size() <= sizeof buffer_ && Narrow(units)) {
      view_ = std::string_view(buffer_, units.size());
      return;
    }
    heap_ = Utf8(text);
    view_ = heap_;
  }
  Utf8Text(const Utf8Text&) = delete;
  Utf8Text& operator=(const Utf8Text&) = delete;

  std::string_view View() const { return view_; }
  // Every character is printable ASCII (U+0020 to U+007F): XML text, with
  // nothing for IsXmlText to look at.
  bool Plain() const { return plain_; }

 private:
  // Narrows `units` into the buffer when all are ASCII.
  bool Narrow(std::u16string_view units) {
    const char16_t* from = units.data();
    const std::size_t size = units.size();
    std::uint64_t low = 0;  // lanes below U+0020 seen
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    // Eight units at a time where SSE2 is there (every x86-64 processor).
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i space = _mm_set1_epi16(0x20);
    for (; i + 8 <= size; i += 8) {
      const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(lanes, high), _mm_setzero_si128())) != 0xFFFF) return false;
      low |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi16(lanes, space)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(buffer_ + i), _mm_packus_epi16(lanes, lanes));
    }
    // The last units, in eight that end on the last one (those before them
    // were ASCII already).
    if (i < size && size >= 8) {
      const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + size - 8));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(lanes, high), _mm_setzero_si128())) != 0xFFFF) return false;
      low |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi16(lanes, space)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(buffer_ + size - 8), _mm_packus_epi16(lanes, lanes));
      i = size;
    }
#endif
    for (; i + 4 <= size; i += 4) {
      std::uint64_t word;
      std::memcpy(&word, from + i, sizeof word);
      if ((word & 0xFF80FF80FF80FF80ULL) != 0) return false;
      // With every lane below 0x80, a lane below 0x20 is one that borrows.
      low |= (word - 0x0020002000200020ULL) & ~word & 0x8000800080008000ULL;
      const auto packed = static_cast<std::uint32_t>((word & 0xFF) | ((word >> 8) & 0xFF00) |
                                                     ((word >> 16) & 0xFF0000) | ((word >> 24) & 0xFF000000));
      std::memcpy(buffer_ + i, &packed, sizeof packed);
    }
    for (; i < size; ++i) {
      const char16_t unit = from[i];
      if (unit >= 0x80) return false;
      if (unit < 0x20) low = 1;
      buffer_[i] = static_cast<char>(unit);
    }
    plain_ = low == 0;
    return true;
  }

  char buffer_[96];
  bool plain_ = false;
  std::string heap_;
  std::string_view view_;
};

// Replaces `out` with the UTF-16 form of UTF-8 text (never null afterwards).
void Assign(KelUnicodeString& out, const char* utf8, std::size_t length);
void Assign(KelUnicodeString& out, const xmlChar* utf8);

// Whether the text is an XML 1.0 (fifth edition) Name.
bool IsXmlName(std::u16string_view text);
// Whether every character of the text is an XML 1.0 Char (no control
// characters other than tab, line feed and carriage return, no U+FFFE/U+FFFF,
// no unpaired surrogate).
bool IsXmlText(std::u16string_view text);
// Whether the text holds only characters allowed in a public identifier.
bool IsPublicIdText(std::u16string_view text);

// For text that has already been turned into UTF-8: when a leading XML or
// text declaration names another encoding than "UTF-8", makes in `rewritten`
// a copy of the text that says "UTF-8" there and returns true.
bool DeclareUtf8(std::string_view utf8, std::string& rewritten);

// The number of leading bytes of `data` that end on a whole UTF-8 character.
std::size_t CompleteUtf8Prefix(const char* data, std::size_t length);

// Removes trailing blanks and line ends (libxml2 messages end with one).
std::string TrimMessage(const char* message);

}  // namespace kelxml
