#include "KelXmlWrite.h"

#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "KelFileWriter.h"
#include "KelResultCodes.h"
#include "KelUnicodeString.h"
#include "KelXmlDirectWrite.h"
#include "KelXmlDocument.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

namespace kelxml {

namespace {

// Collects the written UTF-8 in blocks and turns it into UTF-16 once the
// writing is over: the text is converted in one pass into a string of the
// right size, with no growing copies of a large UTF-16 string on the way.
struct StringSink {
  static constexpr std::size_t kBlock = 1 << 20;
  std::vector<std::string> blocks;
  std::size_t bytes = 0;
  bool failed = false;

  void Write(const char* data, std::size_t length) {
    while (length > 0) {
      if (blocks.empty() || blocks.back().size() == kBlock) {
        blocks.emplace_back();
        blocks.back().reserve(std::min(kBlock, std::max(length, bytes)));
      }
      std::string& block = blocks.back();
      const std::size_t taken = std::min(length, kBlock - block.size());
      block.append(data, taken);
      data += taken;
      length -= taken;
      bytes += taken;
    }
  }

  // The UTF-16 text; each block goes as soon as it is converted. A character
  // split between two blocks is carried over to the next.
  std::u16string Finish() {
    std::u16string text;
    text.reserve(bytes);  // never more units than bytes
    std::string carried;
    for (std::string& block : blocks) {
      if (!carried.empty()) {
        block.insert(0, carried);
        carried.clear();
      }
      const std::size_t whole = CompleteUtf8Prefix(block.data(), block.size());
      KelUtf::AppendUtf16(block.data(), whole, text);
      carried.assign(block, whole, std::string::npos);
      std::string().swap(block);
    }
    KelUtf::AppendUtf16(carried.data(), carried.size(), text);
    blocks.clear();
    return text;
  }
};

int WriteToString(void* context, const char* data, int length) {
  auto* sink = static_cast<StringSink*>(context);
  // Nothing may be raised through libxml2: a failure is noted and reported
  // once the writing is over.
  try {
    sink->Write(data, static_cast<std::size_t>(length));
  } catch (...) {
    sink->failed = true;
  }
  return length;
}

int WriteToFile(void* context, const char* data, int length) {
  // A failed write is remembered by the writer and reported at the commit.
  static_cast<KelFileWriter*>(context)->Write(data, static_cast<std::size_t>(length));
  return length;
}

// The document to serialise: the document itself, or a copy with its entity
// references expanded when that is asked and needed. Null when memory ran out.
struct Printable {
  xmlDocPtr document = nullptr;
  xmlDocPtr copy = nullptr;
  bool referencesKept = false;  // parsed keeping entity references (the copy too)
  ~Printable() {
    if (copy != nullptr) xmlFreeDoc(copy);
  }
};

long Prepare(KelXmlDocument* document, const Options& options, Printable& printable) {
  xmlDocPtr doc = document->Doc();
  printable.document = doc;
  printable.referencesKept = document->ReferencesKept();
  if (options.expand && document->MayHoldReferences() && ContainsEntityReferences(doc)) {
    printable.copy = CopyDocumentExpanded(doc);
    if (printable.copy == nullptr) return E_OUTOFMEMORY;
    printable.document = printable.copy;
  }
  return S_OK;
}

// libxml2 writes two kinds of value as they stand, without escaping: the URI
// of a namespace declaration and the default value of an attribute declared
// in the internal subset. Holding "&", "<", a double quote or a tab or line
// end, such a value would come out malformed, or as another value once read
// back. While a document is written, these values are swapped for their
// escaped form, and put back when the guard goes.
class EscapedLiterals {
 public:
  EscapedLiterals() = default;
  ~EscapedLiterals() {
    for (auto& [slot, original] : swapped_) *slot = original;
  }
  EscapedLiterals(const EscapedLiterals&) = delete;
  EscapedLiterals& operator=(const EscapedLiterals&) = delete;

  // `referencesKept`: the document was parsed keeping entity references.
  // libxml2 then keeps these values in their written form as far as "&" goes
  // ("&#38;" for the character, "&name;" for a reference), so an "&" that
  // starts a reference stays as it is. False when memory ran out (what was
  // swapped is still put back).
  bool Apply(xmlDocPtr document, bool referencesKept) try {
    if (document->intSubset != nullptr) {
      for (xmlNodePtr decl = document->intSubset->children; decl != nullptr; decl = decl->next) {
        if (decl->type != XML_ATTRIBUTE_DECL) continue;
        Escape(&reinterpret_cast<xmlAttributePtr>(decl)->defaultValue, referencesKept);
      }
    }
    // Elements only; entity content is not entered, as a reference is
    // written as a reference.
    xmlNodePtr top = reinterpret_cast<xmlNodePtr>(document);
    for (xmlNodePtr node = document->children; node != nullptr;) {
      if (node->type == XML_ELEMENT_NODE) {
        for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next) Escape(&ns->href, referencesKept);
        if (node->children != nullptr) {
          node = node->children;
          continue;
        }
      }
      while (node != nullptr && node != top && node->next == nullptr) node = node->parent;
      node = node == nullptr || node == top ? nullptr : node->next;
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }

 private:
  // Any byte of a multi-byte character counts as a name byte.
  static bool IsNameByte(unsigned char b) {
    return std::isalnum(b) != 0 || b == '_' || b == ':' || b == '.' || b == '-' || b >= 0x80;
  }

  // Whether `text` (just after an "&") completes a character or entity
  // reference.
  static bool StartsReference(const char* text) {
    const auto* c = reinterpret_cast<const unsigned char*>(text);
    if (*c == '#') {
      const bool hex = *++c == 'x';
      const unsigned char* digits = hex ? ++c : c;
      while (hex ? std::isxdigit(*c) != 0 : std::isdigit(*c) != 0) ++c;
      return c != digits && *c == ';';
    }
    const unsigned char* name = c;
    while (IsNameByte(*c)) ++c;
    return c != name && *c == ';';
  }

  void Escape(const xmlChar** slot, bool referencesKept) {
    const char* value = reinterpret_cast<const char*>(*slot);
    if (value == nullptr || std::strpbrk(value, "&<\"\t\n\r") == nullptr) return;
    std::string escaped;
    for (const char* c = value; *c != '\0'; ++c) {
      switch (*c) {
        case '&': escaped += referencesKept && StartsReference(c + 1) ? "&" : "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\t': escaped += "&#9;"; break;
        case '\n': escaped += "&#10;"; break;
        case '\r': escaped += "&#13;"; break;
        default: escaped += *c;
      }
    }
    if (escaped == value) return;
    swapped_.reserve(swapped_.size() + 1);
    texts_.push_back(std::move(escaped));  // a deque: earlier texts stay where they are
    swapped_.emplace_back(slot, *slot);
    *slot = reinterpret_cast<const xmlChar*>(texts_.back().c_str());
  }

  std::deque<std::string> texts_;
  std::vector<std::pair<const xmlChar**, const xmlChar*>> swapped_;
};

// Serialises with an XML declaration that names UTF-8.
long Serialize(const Printable& printable, const Options& options, xmlOutputWriteCallback write, void* context) {
  xmlDocPtr document = printable.document;
  EscapedLiterals escaped;
  if (!escaped.Apply(document, printable.referencesKept)) return E_OUTOFMEMORY;
  xmlSaveCtxtPtr save = xmlSaveToIO(write, nullptr, context, "UTF-8", options.pretty ? XML_SAVE_FORMAT : 0);
  if (save == nullptr) return E_OUTOFMEMORY;
  const long written = xmlSaveDoc(save, document);
  const int flushed = xmlSaveClose(save);
  return written < 0 || flushed < 0 ? E_FAIL : S_OK;
}

}  // namespace

long WriteDocumentToFile(KelXmlDocument* document, const Options& options, const std::string& path,
                         std::string& problem) {
  Printable printable;
  long result = Prepare(document, options, printable);
  if (result < 0) return result;
  KelFileWriter sink(path);
  if (!sink.Open()) {
    problem = sink.Problem();
    return E_FAIL;
  }
  result = Serialize(printable, options, WriteToFile, &sink);
  if (result < 0) return result;
  if (!sink.Commit()) {
    problem = sink.Problem();
    return E_FAIL;
  }
  return S_OK;
}

long WriteDocumentToString(KelXmlDocument* document, const Options& options, std::u16string& text) {
  Printable printable;
  long result = Prepare(document, options, printable);
  if (result < 0) return result;
  // The common document goes straight into UTF-16; what only libxml2 knows
  // how to write (indentation, document types, namespaces, references) goes
  // through its serializer and the UTF-8 sink.
  if (!options.pretty) {
    try {
      if (WriteCommonDocument(printable.document, text)) return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  StringSink sink;
  result = Serialize(printable, options, WriteToString, &sink);
  if (result < 0) return result;
  if (sink.failed) return E_OUTOFMEMORY;
  text = sink.Finish();
  return S_OK;
}

}  // namespace kelxml
