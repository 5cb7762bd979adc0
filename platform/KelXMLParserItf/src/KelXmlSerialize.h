// Writing the stand-in's tree as libxml2's serializer writes a document with
// UTF-8 declared: the same declaration, escapes, empty-element form and, when
// indenting, the same line ends and indentation, so that a document reads and
// writes the same bytes whichever way it came. The document type is written
// by libxml2 itself, from the DTD the tree keeps. A differential fuzzer
// (fuzz/fuzz_write_roads.cpp) holds the two serializers together.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <libxml/tree.h>

#include "KelUnicodeString.h"
#include "KelXmlTree.h"

namespace kelxml {

struct WriteStyle {
  bool pretty = false;           // indented as libxml2's XML_SAVE_FORMAT indents
  bool expand = false;           // entity references written as their content
  bool references_kept = false;  // the document was parsed keeping entity references
};

// Whether the tree can be written here; false for a document whose document
// type names XHTML, which libxml2 writes with rules of its own.
bool CanSerialize(const Tree& tree);

// The document as UTF-8 text, held by the string as written. Raises
// std::bad_alloc when memory runs out.
KelUnicodeString SerializeToString(const Tree& tree, const WriteStyle& style);

// The document as UTF-8 bytes, handed to `write` in pieces. Raises
// std::bad_alloc when memory runs out.
using ByteWriter = void (*)(void* context, const char* data, std::size_t length);
void SerializeToBytes(const Tree& tree, const WriteStyle& style, ByteWriter write, void* context);

// libxml2 writes two kinds of value as they stand: the URI of a namespace
// declaration and the default value of an attribute declared in the internal
// subset. This is such a value escaped so that it reads back as itself (see
// KelXmlSerialize.cpp).
std::string EscapeLiteral(std::string_view value, bool referencesKept);
// Appends `text` escaped as libxml2 escapes an attribute value.
void AppendAttributeEscaped(std::string& out, std::string_view text);
// Escapes the declared attribute defaults of `dtd` (a copy, owning its
// strings) in place. Raises std::bad_alloc when memory runs out.
void EscapeAttributeDefaults(xmlDtdPtr dtd, bool referencesKept);

}  // namespace kelxml
