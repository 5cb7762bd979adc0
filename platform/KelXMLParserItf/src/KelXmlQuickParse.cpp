#include "KelXmlQuickParse.h"

#include <cstdint>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelxml {

namespace {

// Given up well inside libxml2's own limits, so that libxml2 is the one that
// refuses: it takes 257 nested elements, names of 50 000 bytes, values and
// text nodes of 10 000 000 and 10 000 000 bytes of distinct names.
constexpr std::size_t kMaxDepth = 200;
constexpr std::size_t kMaxName = 1000;
constexpr std::size_t kMaxText = 1 << 20;
constexpr std::size_t kMaxNameBytes = 1 << 20;
constexpr std::size_t kMaxAttributes = 1000;

enum : unsigned char {
  kNameStart = 1,  // ASCII letters and "_" (a ":" needs namespaces)
  kName = 2,       // those, digits, "." and "-"
  kSpace = 4,      // blank, tab, line feed (a carriage return is given up)
  kPlain = 8,      // text and values as they stand: printable ASCII but "<", "&"
};

struct Classes {
  unsigned char of[256] = {};
  constexpr Classes() {
    for (int c = 'a'; c <= 'z'; ++c) of[c] = kNameStart | kName;
    for (int c = 'A'; c <= 'Z'; ++c) of[c] = kNameStart | kName;
    for (int c = '0'; c <= '9'; ++c) of[c] = kName;
    for (int c = 0x20; c <= 0x7F; ++c) of[c] |= kPlain;
    Add('_', kNameStart | kName);
    Add('.', kName);
    Add('-', kName);
    Add(' ', kSpace);
    Add('\t', kSpace);
    Add('\n', kSpace);
    of[static_cast<unsigned char>('<')] = 0;
    of[static_cast<unsigned char>('&')] = 0;
  }
  constexpr void Add(char c, unsigned char kinds) { of[static_cast<unsigned char>(c)] |= kinds; }
};
constexpr Classes kClasses;

inline bool Is(char c, unsigned char kind) { return (kClasses.of[static_cast<unsigned char>(c)] & kind) != 0; }

// The end of the run of value bytes that stand as they are (printable ASCII
// but "<", "&" and the quote), sixteen at a time where SSE2 is there.
const char* PlainValueRun(const char* p, const char* end, char quote) {
#if defined(__SSE2__)
  const __m128i quotes = _mm_set1_epi8(quote);
  const __m128i amp = _mm_set1_epi8('&');
  const __m128i lt = _mm_set1_epi8('<');
  const __m128i space = _mm_set1_epi8(0x20);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed, a byte below 0x20 or from 0x80 on is below the blank.
    const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quotes), _mm_cmpeq_epi8(bytes, amp)),
                                      _mm_or_si128(_mm_cmpeq_epi8(bytes, lt), _mm_cmplt_epi8(bytes, space)));
    const int mask = _mm_movemask_epi8(stop);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  while (p < end && Is(*p, kPlain) && *p != quote) ++p;
  return p;
}

// The length of the UTF-8 sequence at `p` when it encodes a character XML
// allows (U+0080 and up, less surrogates, U+FFFE and U+FFFF); 0 otherwise.
std::size_t XmlCharacter(const char* p, const char* end) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const std::size_t left = static_cast<std::size_t>(end - p);
  auto tail = [&](std::size_t i) { return i < left && (s[i] & 0xC0) == 0x80; };
  const unsigned char lead = s[0];
  if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!tail(1) || !tail(2)) return 0;
    if (lead == 0xE0 && s[1] < 0xA0) return 0;                        // overlong
    if (lead == 0xED && s[1] >= 0xA0) return 0;                       // surrogate
    if (lead == 0xEF && s[1] == 0xBF && s[2] >= 0xBE) return 0;       // U+FFFE, U+FFFF
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!tail(1) || !tail(2) || !tail(3)) return 0;
    if (lead == 0xF0 && s[1] < 0x90) return 0;  // overlong
    if (lead == 0xF4 && s[1] >= 0x90) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

// Appends the UTF-8 form of `cp`, which XML allows.
void AppendUtf8(std::uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool AllowedCodePoint(std::uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

class Reader {
 public:
  Reader(std::string_view text, TreeBuilder& builder)
      : p_(text.data()), end_(text.data() + text.size()), builder_(builder) {}

  bool Document() {
    if (Starts("<?xml") && end_ - p_ > 5 && Is(p_[5], kSpace)) {
      p_ += 5;
      if (!Declaration()) return false;
    }
    SkipSpace();
    if (!(p_ + 1 < end_ && *p_ == '<' && Is(p_[1], kNameStart))) return false;
    if (!StartTag()) return false;
    while (!open_.empty()) {
      if (!Content()) return false;
    }
    SkipSpace();
    return p_ == end_;
  }

 private:
  bool Starts(std::string_view what) const {
    return static_cast<std::size_t>(end_ - p_) >= what.size() && std::string_view(p_, what.size()) == what;
  }

  // Returns whether any space was skipped.
  bool SkipSpace() {
    const char* from = p_;
    while (p_ < end_ && Is(*p_, kSpace)) ++p_;
    return p_ != from;
  }

  // An ASCII name without a ":" (empty when there is none, or when the name
  // goes on in characters this reader leaves to libxml2).
  std::string_view Name() {
    if (p_ == end_ || !Is(*p_, kNameStart)) return {};
    const char* from = p_;
    while (p_ < end_ && Is(*p_, kName)) ++p_;
    if (p_ < end_ && (*p_ == ':' || static_cast<unsigned char>(*p_) >= 0x80)) return {};
    if (static_cast<std::size_t>(p_ - from) > kMaxName) return {};
    return std::string_view(from, static_cast<std::size_t>(p_ - from));
  }

  // S? "=" S? and a quoted value, as the declaration's pseudo-attributes
  // have them (no references, nothing to decode).
  bool PseudoAttribute(std::string_view name, std::string_view& value) {
    if (!SkipSpace() || !Starts(name)) return false;
    p_ += name.size();
    SkipSpace();
    if (p_ == end_ || *p_ != '=') return false;
    ++p_;
    SkipSpace();
    if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
    const char quote = *p_++;
    const char* from = p_;
    while (p_ < end_ && *p_ != quote && Is(*p_, kPlain)) ++p_;
    if (p_ == end_ || *p_ != quote) return false;
    value = std::string_view(from, static_cast<std::size_t>(p_ - from));
    ++p_;
    return true;
  }

  // After "<?xml": version 1.0, encoding UTF-8 if any, standalone if any.
  bool Declaration() {
    std::string_view version, value;
    if (!PseudoAttribute("version", version) || version != "1.0") return false;
    const char* mark = p_;
    if (PseudoAttribute("encoding", value)) {
      if (value.size() != 5) return false;
      const char* utf8 = "utf-8";
      for (std::size_t i = 0; i < 5; ++i) {
        if ((value[i] | (value[i] >= 'A' && value[i] <= 'Z' ? 0x20 : 0)) != utf8[i]) return false;
      }
      mark = p_;
    } else {
      p_ = mark;
    }
    int standalone = -2;  // declared without it
    if (PseudoAttribute("standalone", value)) {
      if (value == "yes") {
        standalone = 1;
      } else if (value == "no") {
        standalone = 0;
      } else {
        return false;
      }
    } else {
      p_ = mark;
    }
    SkipSpace();
    if (!Starts("?>")) return false;
    p_ += 2;
    builder_.Declaration(version, standalone);
    return true;
  }

  // At "&": a predefined entity or a character reference, its character
  // appended to `out`.
  bool Reference(std::string& out) {
    ++p_;
    if (p_ < end_ && *p_ == '#') {
      ++p_;
      const bool hex = p_ < end_ && *p_ == 'x';
      if (hex) ++p_;
      std::uint32_t cp = 0;
      int digits = 0;
      for (; p_ < end_ && *p_ != ';'; ++p_, ++digits) {
        const char c = *p_;
        int digit;
        if (c >= '0' && c <= '9') {
          digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
          digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
          digit = c - 'A' + 10;
        } else {
          return false;
        }
        if (digits == 8) return false;
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      }
      if (p_ == end_ || digits == 0 || !AllowedCodePoint(cp)) return false;
      ++p_;
      AppendUtf8(cp, out);
      return true;
    }
    static constexpr struct {
      std::string_view name;
      char character;
    } kPredefined[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    for (const auto& entity : kPredefined) {
      if (Starts(entity.name)) {
        p_ += entity.name.size();
        out += entity.character;
        return true;
      }
    }
    return false;
  }

  // At the quote: the value, normalised as XML normalises a value of no
  // declared type (each tab and line feed a blank), references replaced.
  bool Value(std::string_view& value) {
    const char quote = *p_++;
    const char* from = p_;
    p_ = PlainValueRun(p_, end_, quote);
    if (p_ < end_ && *p_ == quote) {
      value = std::string_view(from, static_cast<std::size_t>(p_ - from));
      ++p_;
      return value.size() <= kMaxText;
    }
    value_.assign(from, static_cast<std::size_t>(p_ - from));
    while (p_ < end_ && *p_ != quote) {
      const char c = *p_;
      if (Is(c, kPlain)) {
        const char* run = PlainValueRun(p_, end_, quote);
        value_.append(p_, static_cast<std::size_t>(run - p_));
        p_ = run;
      } else if (c == '&') {
        if (!Reference(value_)) return false;
      } else if (c == '\t' || c == '\n') {
        value_ += ' ';
        ++p_;
      } else if (static_cast<unsigned char>(c) >= 0x80) {
        const std::size_t n = XmlCharacter(p_, end_);
        if (n == 0) return false;
        value_.append(p_, n);
        p_ += n;
      } else {
        return false;  // "<", a carriage return, a control character
      }
      if (value_.size() > kMaxText) return false;
    }
    if (p_ == end_) return false;
    ++p_;
    value = value_;
    return true;
  }

  // At "<" and a name start: the start tag, or the empty element.
  bool StartTag() {
    const char* from = p_;
    ++p_;
    const std::string_view name = Name();
    if (name.empty()) return false;
    builder_.StartElement(name);
    if (builder_.NameBytes() > kMaxNameBytes) return false;
    for (std::size_t count = 0;; ++count) {
      const bool spaced = SkipSpace();
      if (p_ == end_ || static_cast<std::size_t>(p_ - from) > kMaxText) return false;
      if (*p_ == '>') {
        ++p_;
        if (open_.size() == kMaxDepth) return false;
        open_.push_back(name);
        return true;
      }
      if (*p_ == '/') {
        if (end_ - p_ < 2 || p_[1] != '>') return false;
        p_ += 2;
        builder_.EndElement();
        return true;
      }
      if (!spaced || count == kMaxAttributes) return false;
      const std::string_view attribute = Name();
      // A default namespace declaration is left to libxml2 ("xmlns:" names
      // are not read at all).
      if (attribute.empty() || attribute == "xmlns") return false;
      SkipSpace();
      if (p_ == end_ || *p_ != '=') return false;
      ++p_;
      SkipSpace();
      if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
      std::string_view value;
      if (!Value(value) || !builder_.AddAttribute(attribute, value)) return false;
    }
  }

  // At "</": the end tag of the innermost open element.
  bool EndTag() {
    p_ += 2;
    const std::string_view name = Name();
    if (name.empty() || name != open_.back()) return false;
    SkipSpace();
    if (p_ == end_ || *p_ != '>') return false;
    ++p_;
    open_.pop_back();
    builder_.EndElement();
    return true;
  }

  // One piece of content: a run of text, a reference, a start or an end tag.
  bool Content() {
    const char* from = p_;
    while (p_ < end_) {
      const char c = *p_;
      if (Is(c, kPlain) || c == '\t' || c == '\n') {
        // "]]>" may not stand in text.
        if (c == ']' && end_ - p_ >= 3 && p_[1] == ']' && p_[2] == '>') return false;
        ++p_;
      } else if (static_cast<unsigned char>(c) >= 0x80) {
        const std::size_t n = XmlCharacter(p_, end_);
        if (n == 0) return false;
        p_ += n;
      } else {
        break;
      }
    }
    if (p_ != from) {
      builder_.Characters(std::string_view(from, static_cast<std::size_t>(p_ - from)));
      if (builder_.Pending() > kMaxText) return false;
    }
    if (p_ == end_) return false;
    if (*p_ == '&') {
      value_.clear();
      if (!Reference(value_)) return false;
      builder_.Characters(value_);
      return true;
    }
    if (*p_ != '<' || end_ - p_ < 2) return false;  // a carriage return or a control character
    if (p_[1] == '/') return EndTag();
    if (Is(p_[1], kNameStart)) return StartTag();
    return false;  // a comment, CDATA, a processing instruction: libxml2's
  }

  const char* p_;
  const char* end_;
  TreeBuilder& builder_;
  std::string value_;                  // a value or reference being decoded
  std::vector<std::string_view> open_;  // the names of the open elements
};

}  // namespace

bool QuickParse(std::string_view text, TreeBuilder& builder) { return Reader(text, builder).Document(); }

}  // namespace kelxml
