// Writing a document, always declaring UTF-8: into a file with libxml2's
// serializer (through KelFileWriter: flushed to the disk and renamed over the
// target once complete), or into UTF-16 text, the common document directly
// (KelXmlDirectWrite.h) and any other with libxml2's serializer.
#pragma once

#include <string>

#include "KelXmlOptions.h"

class KelXmlDocument;

namespace kelxml {

// Writes the document (a copy with its entity references expanded, when that
// is asked and there are any) to `path`. A negative code with `problem` said
// on failure, the target being left as it was.
long WriteDocumentToFile(KelXmlDocument* document, const Options& options, const std::string& path,
                         std::string& problem);
// Writes the document into `text`.
long WriteDocumentToString(KelXmlDocument* document, const Options& options, std::u16string& text);

}  // namespace kelxml
