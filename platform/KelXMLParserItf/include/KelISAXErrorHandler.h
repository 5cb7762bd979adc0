// KelISAXErrorHandler: receives the problems a parse finds, as they are
// found: warnings, errors (a validity error, for instance) and fatal errors
// (the document is not well-formed). Whether the parse succeeds does not
// depend on what the handler returns; its codes are ignored.
//
// A handler must not raise: a platform error (KelError) raised by it fails
// the parse; anything else raised by it is raised again once the parse has
// been cleaned up.
//
// Ownership: the parse holds a reference for its duration. Threading: called
// on the thread that parses.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelBaseUnknown.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

// One problem found by the parser.
struct KelXMLParseError {
  KelUnicodeString message;   // what is wrong, in English
  KelUnicodeString systemId;  // the entity where it was found (document or DTD); may be empty
  int line = 0;               // 1-based; 0 when unknown
  int column = 0;             // 1-based; 0 when unknown
};

class KelISAXErrorHandler;
typedef KelVar<KelISAXErrorHandler> KelISAXErrorHandler_var;

extern ExportedByKelXMLParserItf const IID IID_KelISAXErrorHandler;

class ExportedByKelXMLParserItf KelISAXErrorHandler : public KelBaseUnknown {
 public:
  ~KelISAXErrorHandler() override;

  virtual long warning(const KelXMLParseError& problem) = 0;
  virtual long error(const KelXMLParseError& problem) = 0;
  virtual long fatalError(const KelXMLParseError& problem) = 0;
};
