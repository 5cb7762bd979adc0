// One parse with libxml2, on a parser context of its own.
//
// The context gets its own SAX hooks: errors go to the caller's error handler
// and are recorded; entity declarations are taken as libxml2 takes them except
// that external entities are made to look read and empty (libxml2 would read
// them through its process-wide loader); the external DTD subset of a
// validated document is asked of the caller's entity resolver, then looked for
// relative to the document. Nothing process-wide is changed and the network is
// never reached.
#pragma once

#include <libxml/tree.h>

#include <string>

#include "KelISAXEntityResolver.h"
#include "KelISAXErrorHandler.h"
#include "KelXmlOptions.h"

namespace kelxml {

// Where and why a parse failed.
struct ParseFailure {
  std::string message;
  int line = 0;
  int column = 0;
};

// Parses the file named by `systemId`, or, when `text` is given, that UTF-8
// text known by `systemId`. Returns the document (the caller's to free), or
// null with `failure` filled. What a caller's hook raised, other than a
// platform error, is raised again once the parse is cleaned up.
xmlDocPtr ParseDocument(const std::string& systemId, const std::string* text, const Options& options,
                        KelISAXEntityResolver* resolver, KelISAXErrorHandler* handler, ParseFailure& failure);

}  // namespace kelxml
