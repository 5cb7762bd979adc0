// Writing the common document straight into UTF-16 text, without libxml2's
// serializer and its UTF-8 output buffers.
//
// The common document is what jobs and hosts make and what most parses give:
// elements, attributes, text, CDATA sections, comments and processing
// instructions, with no document type, no namespace and no entity reference.
// For it the text is the one libxml2's serializer writes unindented with UTF-8
// declared (the same declaration, escapes and empty-element form), so that a
// document reads and writes the same bytes whichever road it takes; a
// differential fuzzer (fuzz/fuzz_write_roads.cpp) holds the two together.
// Anything else is left to libxml2.
#pragma once

#include <libxml/tree.h>

#include <string>

namespace kelxml {

// Writes `document` into `text` when it is a common document; returns false,
// `text` untouched, for any other. Raises std::bad_alloc when memory runs out.
bool WriteCommonDocument(xmlDocPtr document, std::u16string& text);

}  // namespace kelxml
