#include "KelXmlDirectWrite.h"

#include <libxml/globals.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "KelUnicodeString.h"

namespace kelxml {

namespace {

using Bytes = const unsigned char*;

Bytes B(const xmlChar* text) { return reinterpret_cast<Bytes>(text); }

// What libxml2 writes for the characters it escapes, in text content and in
// attribute values (a UTF-8 document: other characters go as they are).
const char* TextEscape(unsigned char c) {
  switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '\r': return "&#13;";
    default: return nullptr;
  }
}

const char* AttributeEscape(unsigned char c) {
  switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '"': return "&quot;";
    case '\t': return "&#9;";
    case '\n': return "&#10;";
    case '\r': return "&#13;";
    default: return nullptr;
  }
}

// The ASCII characters escaped in text (kText) and in attribute values
// (kAttribute). A byte beyond ASCII stops a plain copy too: it is converted
// apart.
enum : unsigned char { kText = 1, kAttribute = 2 };

struct EscapeTable {
  unsigned char kinds[128] = {};
  constexpr EscapeTable() {
    for (unsigned char c : {'<', '>', '&', '\r'}) kinds[c] = kText | kAttribute;
    for (unsigned char c : {'"', '\t', '\n'}) kinds[c] = kAttribute;
  }
  bool Escaped(unsigned char c, unsigned char kind) const { return c < 0x80 && (kinds[c] & kind) != 0; }
};
constexpr EscapeTable kEscapes;

// The longest escape is six characters ("&quot;"), five more than the one it
// stands for.
constexpr std::size_t kMostExtra = 5;

#if defined(__SSE2__)
// The bytes of a block of sixteen that stop a plain copy of `kind`.
int StopMask(__m128i bytes, unsigned char kind) {
  int mask = _mm_movemask_epi8(bytes);  // beyond ASCII
  if (kind == 0) return mask;
  __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>')));
  hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')));
  hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
  if (kind == kAttribute) {
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
  }
  return mask | _mm_movemask_epi8(hit);
}
#endif

// The first pass: room for the text, in UTF-16 units. One unit per UTF-8 byte
// is never too few, and every escaped character is given the room of the
// longest escape.
class Measure {
 public:
  void Literal(const char*, std::size_t length) { units_ += length; }
  void Raw(Bytes, std::size_t length) { units_ += length; }
  void Text(Bytes text, std::size_t length) { Escaped(text, length, kText); }
  void Attribute(Bytes text, std::size_t length) { Escaped(text, length, kAttribute); }
  std::size_t Units() const { return units_; }

 private:
  void Escaped(Bytes text, std::size_t length, unsigned char kind) {
    units_ += length;
    for (std::size_t i = 0; i < length; ++i) {
      if (kEscapes.Escaped(text[i], kind)) units_ += kMostExtra;
    }
  }

  std::size_t units_ = 0;
};

// The second pass: the text itself, into room the first pass measured.
class Emit {
 public:
  explicit Emit(char16_t* to) : to_(to) {}

  void Literal(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) *to_++ = static_cast<unsigned char>(text[i]);
  }
  void Raw(Bytes text, std::size_t length) {
    std::size_t i = 0;
    while (i < length) {
      i += Plain(text + i, length - i, 0);
      i += Other(text + i, length - i);
    }
  }
  void Text(Bytes text, std::size_t length) { Escaped(text, length, kText, TextEscape); }
  void Attribute(Bytes text, std::size_t length) { Escaped(text, length, kAttribute, AttributeEscape); }
  char16_t* End() const { return to_; }

 private:
  template <class Escape>
  void Escaped(Bytes text, std::size_t length, unsigned char kind, Escape escape) {
    std::size_t i = 0;
    while (i < length) {
      i += Plain(text + i, length - i, kind);
      if (i >= length) break;
      if (const char* replacement = escape(text[i])) {
        Literal(replacement, std::strlen(replacement));
        ++i;
      } else {
        i += Other(text + i, length - i);
      }
    }
  }

  // Copies the leading ASCII characters that need no escape in `kind` (none
  // for 0); returns their number.
  std::size_t Plain(Bytes text, std::size_t length, unsigned char kind) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= length; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      if (StopMask(bytes, kind) != 0) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to_ + i), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to_ + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i < length; ++i) {
      const unsigned char c = text[i];
      if (c >= 0x80 || kEscapes.Escaped(c, kind)) break;
      to_[i] = c;
    }
    to_ += i;
    return i;
  }

  // Converts the leading run of non-ASCII bytes as the platform's string
  // conversion does (so a document comes out as libxml2's UTF-8 turned into
  // UTF-16 would); returns its length in bytes.
  std::size_t Other(Bytes text, std::size_t length) {
    std::size_t run = 0;
    while (run < length && text[run] >= 0x80) ++run;
    if (run == 0) return 0;
    scratch_.clear();
    KelUtf::AppendUtf16(reinterpret_cast<const char*>(text), run, scratch_);
    std::memcpy(to_, scratch_.data(), scratch_.size() * sizeof(char16_t));
    to_ += scratch_.size();
    return run;
  }

  char16_t* to_;
  std::u16string scratch_;
};

// One node and its subtree, as libxml2's serializer writes them unindented;
// false on meeting what a common document does not hold. Iterative: documents
// may be nested deeper than the stack allows recursion.
template <class Out>
bool WriteTree(xmlNodePtr root, Out& out) {
  auto raw = [&out](const xmlChar* text) { out.Raw(B(text), std::strlen(reinterpret_cast<const char*>(text))); };
  xmlNodePtr node = root;
  for (;;) {
    switch (node->type) {
      case XML_ELEMENT_NODE:
        if (node->ns != nullptr || node->nsDef != nullptr) return false;
        out.Literal("<", 1);
        raw(node->name);
        for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
          if (attribute->ns != nullptr) return false;
          out.Literal(" ", 1);
          raw(attribute->name);
          out.Literal("=\"", 2);
          for (xmlNodePtr part = attribute->children; part != nullptr; part = part->next) {
            if (part->type != XML_TEXT_NODE) return false;
            if (part->content != nullptr) {
              out.Attribute(B(part->content), std::strlen(reinterpret_cast<const char*>(part->content)));
            }
          }
          out.Literal("\"", 1);
        }
        if (node->children == nullptr) {
          out.Literal("/>", 2);
          break;
        }
        out.Literal(">", 1);
        node = node->children;
        continue;
      case XML_TEXT_NODE:
        if (node->name == xmlStringTextNoenc) return false;
        if (node->content != nullptr) {
          out.Text(B(node->content), std::strlen(reinterpret_cast<const char*>(node->content)));
        }
        break;
      case XML_CDATA_SECTION_NODE: {
        // A "]]>" inside splits the section after its "]]", as libxml2 does.
        const xmlChar* content = node->content;
        if (content == nullptr || *content == '\0') {
          out.Literal("<![CDATA[]]>", 12);
          break;
        }
        const xmlChar* start = content;
        const xmlChar* end = content;
        while (*end != '\0') {
          if (end[0] == ']' && end[1] == ']' && end[2] == '>') {
            end += 2;
            out.Literal("<![CDATA[", 9);
            out.Raw(B(start), static_cast<std::size_t>(end - start));
            out.Literal("]]>", 3);
            start = end;
          }
          ++end;
        }
        if (start != end) {
          out.Literal("<![CDATA[", 9);
          raw(start);
          out.Literal("]]>", 3);
        }
        break;
      }
      case XML_COMMENT_NODE:
        if (node->content != nullptr) {
          out.Literal("<!--", 4);
          raw(node->content);
          out.Literal("-->", 3);
        }
        break;
      case XML_PI_NODE:
        out.Literal("<?", 2);
        raw(node->name);
        if (node->content != nullptr) {
          out.Literal(" ", 1);
          raw(node->content);
        }
        out.Literal("?>", 2);
        break;
      default:
        return false;
    }
    // Up to the next node that has a next sibling, closing the elements left.
    for (;;) {
      if (node == root) return true;
      if (node->next != nullptr) {
        node = node->next;
        break;
      }
      node = node->parent;
      out.Literal("</", 2);
      raw(node->name);
      out.Literal(">", 1);
    }
  }
}

// The XML declaration and the document's top-level nodes, each followed by a
// line end.
template <class Out>
bool WriteDocument(xmlDocPtr document, Out& out) {
  const char* version = document->version != nullptr ? reinterpret_cast<const char*>(document->version) : "1.0";
  // A quote in the version would be written another way; a parse never gives one.
  if (std::strchr(version, '"') != nullptr) return false;
  out.Literal("<?xml version=\"", 15);
  out.Raw(reinterpret_cast<Bytes>(version), std::strlen(version));
  out.Literal("\" encoding=\"UTF-8\"", 18);
  if (document->standalone == 0) out.Literal(" standalone=\"no\"", 16);
  if (document->standalone == 1) out.Literal(" standalone=\"yes\"", 17);
  out.Literal("?>\n", 3);
  for (xmlNodePtr top = document->children; top != nullptr; top = top->next) {
    if (top->type != XML_ELEMENT_NODE && top->type != XML_COMMENT_NODE && top->type != XML_PI_NODE) return false;
    if (!WriteTree(top, out)) return false;
    out.Literal("\n", 1);
  }
  return true;
}

}  // namespace

bool WriteCommonDocument(xmlDocPtr document, std::u16string& text) {
  // A document type (internal or external) is written by libxml2, and so is
  // everything under the process-wide switch for empty elements.
  if (document == nullptr || document->type != XML_DOCUMENT_NODE || document->intSubset != nullptr ||
      document->extSubset != nullptr || xmlSaveNoEmptyTags != 0) {
    return false;
  }
  Measure measure;
  if (!WriteDocument(document, measure)) return false;
  std::u16string written;
  written.resize(measure.Units());
  Emit emit(&written[0]);
  WriteDocument(document, emit);
  written.resize(static_cast<std::size_t>(emit.End() - written.data()));
  text = std::move(written);
  return true;
}

}  // namespace kelxml
