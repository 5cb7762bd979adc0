#include "KelUnicodeString.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f'; }

// Length of the well-formed UTF-8 sequence starting at s[0] (1 to 4), or the
// length of its maximal ill-formed prefix negated (at least 1 byte consumed).
int DecodeOne(const unsigned char* s, std::size_t avail, char32_t& cp) {
  unsigned char b0 = s[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  int need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  for (int i = 1; i <= need; ++i) {
    if (static_cast<std::size_t>(i) >= avail) return -i;
    unsigned char b = s[i];
    if (b < lo || b > hi) return -i;
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
  }
  return need + 1;
}

// Copy the leading run of ASCII of `from` (at most `length` units) into
// `to` and return its length. Sixteen units at a time where SSE2 is there
// (every x86-64), eight through a local block otherwise.
std::size_t WidenAscii(const unsigned char* from, std::size_t length, char16_t* to) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= length; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    if (_mm_movemask_epi8(bytes) != 0) break;  // a byte with its high bit set
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpackhi_epi8(bytes, zero));
  }
  if (i + 8 <= length) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + i));
    if (_mm_movemask_epi8(bytes) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(bytes, zero));
      i += 8;
    }
  }
  // The last bytes, in eight that end on the last one (those before them
  // were ASCII already).
  if (i < length && length >= 8 && i + 8 > length) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + length - 8));
    if (_mm_movemask_epi8(bytes) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + length - 8), _mm_unpacklo_epi8(bytes, zero));
      return length;
    }
  }
#else
  for (; i + 8 <= length; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, from + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    char16_t block[8];
    for (int k = 0; k < 8; ++k) block[k] = from[i + static_cast<std::size_t>(k)];
    std::memcpy(to + i, block, sizeof block);
  }
#endif
  for (; i < length && from[i] < 0x80; ++i) to[i] = from[i];
  return i;
}

// The length of the leading run of ASCII bytes.
std::size_t AsciiBytes(const unsigned char* from, std::size_t length) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= length; i += 16) {
    if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i))) != 0) break;
  }
#endif
  for (; i + 8 <= length; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, from + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
  }
  while (i < length && from[i] < 0x80) ++i;
  return i;
}

// The length of the leading run of ASCII units.
std::size_t AsciiRun(const char16_t* from, std::size_t length) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= length; i += 16) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 8));
    const __m128i outside = _mm_and_si128(_mm_or_si128(low, next), high);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, zero)) != 0xFFFF) break;
  }
#endif
  while (i < length && from[i] < 0x80) ++i;
  return i;
}

std::size_t NarrowAscii(const char16_t* from, std::size_t length, char* to) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= length; i += 16) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 8));
    const __m128i outside = _mm_and_si128(_mm_or_si128(low, next), high);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, zero)) != 0xFFFF) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(low, next));
  }
#else
  for (; i + 8 <= length; i += 8) {
    std::uint64_t low, high;
    std::memcpy(&low, from + i, 8);
    std::memcpy(&high, from + i + 4, 8);
    if (((low | high) & 0xFF80FF80FF80FF80ULL) != 0) break;
    char block[8];
    for (int k = 0; k < 8; ++k) block[k] = static_cast<char>(from[i + static_cast<std::size_t>(k)]);
    std::memcpy(to + i, block, sizeof block);
  }
#endif
  for (; i < length && from[i] < 0x80; ++i) to[i] = static_cast<char>(from[i]);
  return i;
}

int Utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Writes the UTF-8 bytes of `cp` (Utf8Length(cp) of them) to `out`.
void EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
  } else if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Reads the code point at text[i], advancing i; unpaired surrogates give U+FFFD.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i) {
  char16_t u = text[i++];
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (u <= 0xDBFF && i < text.size()) {
    char16_t v = text[i];
    if (v >= 0xDC00 && v <= 0xDFFF) {
      ++i;
      return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (v - 0xDC00);
    }
  }
  return kReplacement;
}

// The sscanf("%d") reading: blanks, sign, digits. False when no digit follows
// or the value does not fit an int.
bool ReadInt(std::u16string_view text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long magnitude = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
    magnitude = magnitude * 10 + (text[i] - u'0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (digits == 0) return false;
  long long v = negative ? -magnitude : magnitude;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = static_cast<int>(v);
  return true;
}

// Whether `text` is well-formed UTF-8 throughout: then its UTF-16 form turns
// back into the same bytes.
bool WellFormed(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    i += AsciiBytes(s + i, text.size() - i);
    if (i >= text.size()) break;
    char32_t cp = 0;
    const int n = DecodeOne(s + i, text.size() - i, cp);
    if (n < 0) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

bool IsFormat(const char* format, const char* a, const char* b = nullptr) {
  return format != nullptr && (std::strcmp(format, a) == 0 || (b != nullptr && std::strcmp(format, b) == 0));
}

}  // namespace

namespace KelUtf {

void AppendUtf16(const char* utf8, std::size_t length, std::u16string& out) {
  if (utf8 == nullptr || length == 0) return;
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  // Most strings are short and ASCII: widened in one go, then appended.
  constexpr std::size_t kShort = 32;
  if (length <= kShort) {
    char16_t units[kShort];
    if (WidenAscii(s, length, units) == length) {
      out.append(units, length);
      return;
    }
  }
  // Converted a block at a time through a local buffer, then appended: no
  // per-unit growth checks, and no zero-filling of room ahead. Text of more
  // than one block gets its room first (never more units than bytes).
  constexpr std::size_t kBlock = 512;
  if (length > kBlock) out.reserve(out.size() + length);
  char16_t block[kBlock + 2];
  std::size_t i = 0;
  while (i < length) {
    std::size_t filled = 0;
    while (i < length && filled < kBlock) {
      // ASCII runs are by far the most common: copied in bulk.
      const std::size_t run = WidenAscii(s + i, std::min(length - i, kBlock - filled), block + filled);
      i += run;
      filled += run;
      if (i >= length || filled >= kBlock) break;
      char32_t cp = 0;
      const int n = DecodeOne(s + i, length - i, cp);
      if (n < 0) {
        block[filled++] = kReplacement;
        i += static_cast<std::size_t>(-n);
      } else if (cp < 0x10000) {
        block[filled++] = static_cast<char16_t>(cp);
        i += static_cast<std::size_t>(n);
      } else {
        cp -= 0x10000;
        block[filled++] = static_cast<char16_t>(0xD800 + (cp >> 10));
        block[filled++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        i += static_cast<std::size_t>(n);
      }
    }
    out.append(block, filled);
  }
}

void AppendUtf8(std::u16string_view utf16, std::string& out) {
  out.reserve(out.size() + utf16.size());  // exact for ASCII
  constexpr std::size_t kBlock = 1024;
  char block[kBlock + 4];
  std::size_t i = 0;
  while (i < utf16.size()) {
    std::size_t filled = 0;
    while (i < utf16.size() && filled < kBlock) {
      const std::size_t run =
          NarrowAscii(utf16.data() + i, std::min(utf16.size() - i, kBlock - filled), block + filled);
      i += run;
      filled += run;
      if (i >= utf16.size() || filled >= kBlock) break;
      const char32_t cp = NextCodePoint(utf16, i);
      EncodeUtf8(cp, block + filled);
      filled += static_cast<std::size_t>(Utf8Length(cp));
    }
    out.append(block, filled);
  }
}

}  // namespace KelUtf

KelUnicodeString::KelUnicodeString(const char* utf8) {
  if (utf8 == nullptr) return;
  null_ = false;
  KelUtf::AppendUtf16(utf8, std::strlen(utf8), text_);
}

KelUnicodeString::KelUnicodeString(const std::string& utf8) : null_(false) {
  KelUtf::AppendUtf16(utf8.data(), utf8.size(), text_);
}

// UTF-8 bytes a string took over: either a string's buffer or a block from
// std::malloc, never changed while shared.
struct KelUnicodeString::Adopted {
  std::atomic<long> references{1};
  std::string owned;
  char* block = nullptr;
  std::string_view text;

  ~Adopted() { std::free(block); }
};

KelUnicodeString& KelUnicodeString::operator=(const KelUnicodeString& other) {
  if (this != &other) {
    null_ = other.null_;
    if (other.utf16_valid_) {
      // The UTF-8 form is formed again when asked for.
      text_ = other.text_;
      utf16_valid_ = true;
      utf8_valid_ = false;
      if (adopted_ != nullptr) Unshare();
    } else {
      if (other.adopted_ != nullptr) other.Share();
      if (adopted_ != nullptr) Unshare();
      adopted_ = other.adopted_;
      utf8_ = other.utf8_;
      utf8_valid_ = true;
      text_.clear();
      utf16_valid_ = false;
    }
  }
  return *this;
}

KelUnicodeString& KelUnicodeString::operator=(KelUnicodeString&& other) noexcept {
  if (this != &other) {
    if (adopted_ != nullptr) Unshare();
    text_ = std::move(other.text_);
    utf8_ = std::move(other.utf8_);
    adopted_ = other.adopted_;
    other.adopted_ = nullptr;
    null_ = other.null_;
    utf16_valid_ = other.utf16_valid_;
    utf8_valid_ = other.utf8_valid_;
    other.Forget();
  }
  return *this;
}

void KelUnicodeString::Forget() {
  text_.clear();
  utf8_.clear();
  if (adopted_ != nullptr) Unshare();
  utf16_valid_ = true;
  utf8_valid_ = false;
}

void KelUnicodeString::Share() const { adopted_->references.fetch_add(1, std::memory_order_relaxed); }

void KelUnicodeString::Unshare() {
  if (adopted_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete adopted_;
  adopted_ = nullptr;
}

std::string_view KelUnicodeString::Utf8Form() const { return adopted_ != nullptr ? adopted_->text : utf8_; }

KelUnicodeString KelUnicodeString::FromUTF8(std::string_view utf8) {
  KelUnicodeString s;
  s.null_ = false;
  KelUtf::AppendUtf16(utf8.data(), utf8.size(), s.text_);
  return s;
}

KelUnicodeString KelUnicodeString::Holding(Adopted* adopted) {
  KelUnicodeString s;
  s.null_ = false;
  s.adopted_ = adopted;
  s.utf8_valid_ = true;
  s.utf16_valid_ = false;
  return s;
}

KelUnicodeString KelUnicodeString::AdoptUTF8(std::string utf8) {
  if (utf8.empty() || !WellFormed(utf8)) return FromUTF8(utf8);
  auto* adopted = new Adopted;
  adopted->owned = std::move(utf8);
  adopted->text = adopted->owned;
  return Holding(adopted);
}

KelUnicodeString KelUnicodeString::AdoptUTF8(char* bytes, std::size_t length) {
  // Held by a guard until the string has it: decoding may throw.
  std::unique_ptr<char, decltype(&std::free)> held(bytes, &std::free);
  const std::string_view text(bytes, length);
  if (length == 0 || !WellFormed(text)) return FromUTF8(text);
  auto* adopted = new Adopted;
  bytes[length] = '\0';
  adopted->block = held.release();
  adopted->text = text;
  return Holding(adopted);
}

void KelUnicodeString::Widen() const {
  text_.clear();
  const std::string_view utf8 = Utf8Form();
  KelUtf::AppendUtf16(utf8.data(), utf8.size(), text_);
  utf16_valid_ = true;
}

int KelUnicodeString::SearchSubString(const KelUnicodeString& text, int start, int mode) const {
  const std::u16string& units = Units();
  const std::u16string& pattern = text.Units();
  const int length = GetLengthInChar();
  if (pattern.empty() || start < 0 || start >= length) return -1;
  std::size_t found;
  if (mode == Backward) {
    found = units.rfind(pattern, static_cast<std::size_t>(length - 1 - start));
  } else {
    found = units.find(pattern, static_cast<std::size_t>(start));
  }
  return found == std::u16string::npos ? -1 : static_cast<int>(found);
}

KelUnicodeString KelUnicodeString::SubString(int start, int length) const {
  const int size = GetLengthInChar();
  if (start < 0) start = 0;
  if (start > size) start = size;
  if (length < 0) length = 0;
  if (length > size - start) length = size - start;
  return KelUnicodeString(Units().substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length)));
}

KelUnicodeString KelUnicodeString::Strip(int mode, char16_t character) const {
  const std::u16string& units = Units();
  std::size_t first = 0;
  std::size_t last = units.size();
  if (mode == Leading || mode == Both) {
    while (first < last && units[first] == character) ++first;
  }
  if (mode == Trailing || mode == Both) {
    while (last > first && units[last - 1] == character) --last;
  }
  KelUnicodeString result(units.substr(first, last - first));
  if (null_ && units.empty()) result.null_ = true;
  return result;
}

int KelUnicodeString::ConvertToNum(int* value, const char* format) const {
  if (value == nullptr || !IsFormat(format, "%d", "%i")) return 0;
  int v = 0;
  if (!ReadInt(Units(), v)) return 0;
  *value = v;
  return 1;
}

int KelUnicodeString::ConvertToNum(double* value, const char* format) const {
  if (value == nullptr || !IsFormat(format, "%lf", "%f")) return 0;
  const std::string utf8 = ToUTF8();
  const char* begin = utf8.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE) return 0;
  *value = v;
  return 1;
}

int KelUnicodeString::BuildFromNum(int value, const char* format) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, IsFormat(format, "%d", "%i") ? format : "%d", value);
  *this = KelUnicodeString(buffer);
  return n;
}

int KelUnicodeString::BuildFromNum(double value, const char* format) {
  static const char* const kDoubleFormats[] = {"%g", "%f", "%lf", "%e", "%G", "%E"};
  const char* used = "%g";
  for (const char* f : kDoubleFormats) {
    if (IsFormat(format, f)) used = f;
  }
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, used, value);
  *this = KelUnicodeString(buffer);
  return n;
}

const char* KelUnicodeString::ConvertToChar() const {
  if (!utf8_valid_) {
    utf8_.clear();
    KelUtf::AppendUtf8(text_, utf8_);
    utf8_valid_ = true;
  }
  // Adopted bytes are followed by a zero too.
  return adopted_ != nullptr ? adopted_->text.data() : utf8_.c_str();
}

int KelUnicodeString::BuildFromUTF8(const char* utf8, std::size_t length) {
  Forget();
  null_ = false;
  KelUtf::AppendUtf16(utf8, length, text_);
  return GetLengthInChar();
}

std::size_t KelUnicodeString::GetLengthInUTF8() const {
  if (utf8_valid_) return Utf8Form().size();
  const std::u16string_view text = text_;
  std::size_t bytes = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    // ASCII, one byte a unit, counted in bulk.
    const std::size_t run = AsciiRun(text.data() + i, text.size() - i);
    bytes += run;
    i += run;
    if (i >= text.size()) break;
    const char16_t unit = text[i];
    if (unit < 0x80) {
      ++bytes;
      ++i;
    } else if (unit < 0x800) {
      bytes += 2;
      ++i;
    } else {
      bytes += static_cast<std::size_t>(Utf8Length(NextCodePoint(text, i)));
    }
  }
  return bytes;
}

void KelUnicodeString::ConvertToUTF8(char* buffer, std::size_t* bytes) const {
  if (bytes == nullptr) return;
  const std::size_t room = *bytes;
  *bytes = 0;
  if (buffer == nullptr) return;
  if (utf8_valid_) {
    // Whole characters only: a cut inside one steps back to its first byte.
    const std::string_view utf8 = Utf8Form();
    std::size_t written = std::min(room, utf8.size());
    if (written < utf8.size()) {
      while (written > 0 && (static_cast<unsigned char>(utf8[written]) & 0xC0) == 0x80) --written;
    }
    std::memcpy(buffer, utf8.data(), written);
    if (written < room) buffer[written] = '\0';
    *bytes = written;
    return;
  }
  std::size_t written = 0;
  std::size_t i = 0;
  const std::size_t size = text_.size();
  while (i < size) {
    // Plain ASCII goes straight through, in bulk.
    const std::size_t run = NarrowAscii(text_.data() + i, std::min(size - i, room - written), buffer + written);
    written += run;
    i += run;
    if (i >= size || written >= room) break;
    const std::size_t before = i;
    char32_t cp = NextCodePoint(text_, i);
    const auto need = static_cast<std::size_t>(Utf8Length(cp));
    if (written + need > room) {
      i = before;
      break;
    }
    EncodeUtf8(cp, buffer + written);
    written += need;
  }
  if (written < room) buffer[written] = '\0';
  *bytes = written;
}

KelUnicodeString& KelUnicodeString::Append(const KelUnicodeString& other) {
  Changed();
  text_ += other.Units();
  null_ = false;
  return *this;
}

std::string KelUnicodeString::ToUTF8() const {
  if (utf8_valid_) return std::string(Utf8Form());
  std::string out;
  KelUtf::AppendUtf8(text_, out);
  return out;
}
