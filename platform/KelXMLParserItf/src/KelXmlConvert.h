// Between libxml2's tree and the stand-in's own: reading a document that
// libxml2 parsed, and, for what only libxml2's serializer writes, the other
// way.
#pragma once

#include <libxml/tree.h>

#include <memory>

#include "KelXmlTree.h"

namespace kelxml {

// A new tree holding `document` as the DOM sees it: elements with their
// qualified names, namespace declarations as attributes, attribute values
// with their entity references replaced (and kept for writing), text, CDATA
// sections, comments, processing instructions, the document type, and entity
// references with the content of each entity read once. Takes `document`:
// it is freed, or kept by the tree for its DTD. Raises std::bad_alloc when
// memory runs out (`document` freed all the same).
std::unique_ptr<Tree> ReadTree(xmlDocPtr document);

// A libxml2 document holding `tree` for libxml2's serializer (the caller's
// to free): entity references replaced by their content with `expand`,
// prefixed names given the namespace declared for their prefix where one is
// in scope, namespace URIs and declared attribute defaults escaped as the
// stand-in's serializer escapes them (`referencesKept`: the document was
// parsed keeping entity references). Null when memory ran out.
xmlDocPtr WriteLibxmlDocument(const Tree& tree, bool expand, bool referencesKept);

}  // namespace kelxml
