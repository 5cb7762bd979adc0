#include "KelXmlText.h"

#include <cstring>

namespace kelxml {

namespace {

// Decodes the code point at `i` and moves `i` past it; an unpaired surrogate
// gives 0xFFFFFFFF.
char32_t Next(std::u16string_view text, std::size_t& i) {
  const char16_t unit = text[i++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
    const char16_t low = text[i++];
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
  }
  return 0xFFFFFFFF;
}

bool IsNameStart(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  if (IsNameStart(c)) return true;
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
         (c >= 0x203F && c <= 0x2040);
}

// What each ASCII character may be in a name: its start, or a later character.
constexpr unsigned char kStart = 1, kFollow = 2;
struct AsciiNameTable {
  unsigned char flags[128] = {};
  constexpr AsciiNameTable() {
    for (int c = 0; c < 128; ++c) {
      const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
      const bool follow = start || c == '-' || c == '.' || (c >= '0' && c <= '9');
      flags[c] = static_cast<unsigned char>((start ? kStart : 0) | (follow ? kFollow : 0));
    }
  }
  constexpr unsigned char operator[](char16_t c) const { return flags[c]; }
};
constexpr AsciiNameTable kAsciiName;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Utf8(const KelUnicodeString& text) {
  // Names and values are mostly short and ASCII: narrowed in one pass, the
  // rest (from the first other character) by the general conversion.
  const std::u16string_view view = text.View();
  std::string out(view.size(), '\0');
  std::size_t i = 0;
  for (; i < view.size() && view[i] < 0x80; ++i) out[i] = static_cast<char>(view[i]);
  if (i == view.size()) return out;
  out.resize(i);
  KelUtf::AppendUtf8(view.substr(i), out);
  return out;
}

void Assign(KelUnicodeString& out, const char* utf8, std::size_t length) {
  out.BuildFromUTF8(utf8 != nullptr ? utf8 : "", utf8 != nullptr ? length : 0);
}

void Assign(KelUnicodeString& out, const xmlChar* utf8) {
  const char* text = reinterpret_cast<const char*>(utf8);
  Assign(out, text, text != nullptr ? std::strlen(text) : 0);
}

bool IsXmlName(std::u16string_view text) {
  if (text.empty()) return false;
  std::size_t i = 0;
  // The ASCII part, the whole name as a rule, by table.
  for (; i < text.size() && text[i] < 0x80; ++i) {
    if ((kAsciiName[text[i]] & (i == 0 ? kStart : kFollow)) == 0) return false;
  }
  if (i == 0 && !IsNameStart(Next(text, i))) return false;
  while (i < text.size()) {
    if (!IsNameChar(Next(text, i))) return false;
  }
  return true;
}

bool IsXmlText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t unit = text[i];
    // The common case first: plain characters of the Basic Multilingual Plane.
    if (unit >= 0x20 && unit < 0xD800) {
      ++i;
      continue;
    }
    const char32_t c = Next(text, i);
    const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    if (!allowed) return false;
  }
  return true;
}

bool IsPublicIdText(std::u16string_view text) {
  static const char kPunctuation[] = "-'()+,./:=?;!*#@$_%";
  for (char16_t c : text) {
    const bool allowed = c == 0x20 || c == 0xD || c == 0xA || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || (c < 0x80 && c != 0 && std::strchr(kPunctuation, c) != nullptr);
    if (!allowed) return false;
  }
  return true;
}

bool DeclareUtf8(std::string_view utf8, std::string& rewritten) {
  if (utf8.compare(0, 5, "<?xml") != 0 || utf8.size() < 6 || !IsSpace(utf8[5])) return false;
  const std::size_t end = utf8.find("?>", 5);
  if (end == std::string_view::npos) return false;
  std::size_t at = utf8.find("encoding", 5);
  if (at == std::string_view::npos || at > end) return false;
  at += 8;
  while (at < end && IsSpace(utf8[at])) ++at;
  if (at >= end || utf8[at] != '=') return false;
  ++at;
  while (at < end && IsSpace(utf8[at])) ++at;
  if (at >= end || (utf8[at] != '"' && utf8[at] != '\'')) return false;
  const char quote = utf8[at];
  const std::size_t close = utf8.find(quote, at + 1);
  if (close == std::string_view::npos || close > end) return false;
  constexpr std::string_view kUtf8 = "UTF-8";
  if (utf8.substr(at + 1, close - at - 1) == kUtf8) return false;
  rewritten.reserve(utf8.size() - (close - at - 1) + kUtf8.size());
  rewritten.assign(utf8.substr(0, at + 1));
  rewritten.append(kUtf8);
  rewritten.append(utf8.substr(close));
  return true;
}

std::size_t CompleteUtf8Prefix(const char* data, std::size_t length) {
  // Look back over at most three continuation bytes for the lead byte of the
  // last character and see whether all its bytes are there.
  std::size_t back = 0;
  while (back < 4 && back < length) {
    const auto byte = static_cast<unsigned char>(data[length - 1 - back]);
    if ((byte & 0xC0) != 0x80) {
      std::size_t needed = 1;
      if (byte >= 0xF0) {
        needed = 4;
      } else if (byte >= 0xE0) {
        needed = 3;
      } else if (byte >= 0xC0) {
        needed = 2;
      }
      return back + 1 >= needed ? length : length - 1 - back;
    }
    ++back;
  }
  return length;
}

std::string TrimMessage(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && IsSpace(text.back())) text.pop_back();
  return text;
}

}  // namespace kelxml
