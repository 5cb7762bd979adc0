// A reader of its own for the plainest documents: those that libxml2 reads
// without a word and without anything but elements, attributes and text,
// which is what the job documents are. It is several times faster than
// libxml2's parser for them, and it is strict: whatever it does not know
// (a document type, namespaces, comments, processing instructions, CDATA,
// carriage returns, another encoding or version, names beyond ASCII, depth
// near libxml2's limit, very long names or values) and whatever is not
// well-formed makes it give up, and the document is parsed by libxml2 from
// the start, errors, messages and limits included. So what it builds, when it
// builds, is what the libxml2 road (KelXmlTreeBuilder.h) builds from the same
// bytes, and it never reports anything.
//
// Threading: one parse, on the thread that runs it.
#pragma once

#include <string_view>

#include "KelXmlTreeBuilder.h"

namespace kelxml {

// Reads `text` into `builder`. False when this reader gives the document up:
// then the builder holds part of it and is thrown away. Raises std::bad_alloc
// when memory runs out.
bool QuickParse(std::string_view text, TreeBuilder& builder);

}  // namespace kelxml
