// Reading a document that libxml2 parsed into the stand-in's own tree.
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
// it is freed, or kept by the tree for its DTD. `referencesKept`: parsed
// without expanding entity references. Raises std::bad_alloc when memory runs
// out (`document` freed all the same).
std::unique_ptr<Tree> ReadTree(xmlDocPtr document, bool referencesKept);

}  // namespace kelxml
