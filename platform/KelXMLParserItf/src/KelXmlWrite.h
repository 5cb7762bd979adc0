// Writing a document, always declaring UTF-8: into a file (through
// KelFileWriter: flushed to the disk and renamed over the target once
// complete), or into UTF-16 text. The stand-in's serializer
// (KelXmlSerialize.h) writes both; a document whose type names XHTML, which
// libxml2 writes with rules of its own, is copied into a libxml2 tree and
// written by libxml2.
#pragma once

#include <string>

#include "KelUnicodeString.h"
#include "KelXmlOptions.h"

class KelXmlDocument;

namespace kelxml {

// Writes the document (its entity references expanded, when that is asked)
// to `path`. A negative code with `problem` said on failure, the target being
// left as it was.
long WriteDocumentToFile(KelXmlDocument* document, const Options& options, const std::string& path,
                         std::string& problem);
// Writes the document into `text`, which holds it as UTF-8 as written.
long WriteDocumentToString(KelXmlDocument* document, const Options& options, KelUnicodeString& text);

}  // namespace kelxml
