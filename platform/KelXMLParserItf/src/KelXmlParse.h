// One parse with libxml2, on a parser context of its own.
//
// The context gets its own SAX hooks: errors go to the caller's error handler
// and are recorded; external entities (parsed general and parameter) are read
// by the hooks that look entities up, through the caller's entity resolver or
// from a file inside the allowed directories, and handed to libxml2 as text
// (libxml2 would read them through its process-wide loader); the external DTD
// subset of a validated document is asked of the resolver, then looked for
// relative to the document. Nothing process-wide is changed and the network is
// never reached.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "KelISAXEntityResolver.h"
#include "KelISAXErrorHandler.h"
#include "KelXmlOptions.h"
#include "KelXmlTree.h"

namespace kelxml {

// A parse that keeps entity references refuses a document whose references
// would expand to more than kMaxExpansionBytes and more than
// kMaxExpansionRatio times the bytes read, as libxml2 refuses such a document
// when it expands them.
constexpr std::size_t kMaxExpansionBytes = 10000000;
constexpr std::size_t kMaxExpansionRatio = 10;

// Where and why a parse failed.
struct ParseFailure {
  std::string message;
  int line = 0;
  int column = 0;
};

// Parses the file named by `systemId`, or, when `text` is given, that UTF-8
// text known by `systemId`, into the stand-in's tree: straight from the
// parser for a document without a document type that is not validated
// (KelXmlTreeBuilder.h), else through libxml2's tree (KelXmlConvert.h).
// Returns the tree, or null with `failure` filled. What a caller's hook
// raised, other than a platform error, is raised again once the parse is
// cleaned up; std::bad_alloc when memory runs out.
std::unique_ptr<Tree> ParseDocument(const std::string& systemId, const std::string_view* text, const Options& options,
                                    KelISAXEntityResolver* resolver, KelISAXErrorHandler* handler,
                                    ParseFailure& failure);

}  // namespace kelxml
