// KelIXMLDOMDocumentBuilder: parses XML into DOM documents and writes DOM
// documents out as XML.
//
// CreateKelIXMLDOMDocumentBuilder(out, CLSID_XML4C_DOM) makes a builder.
// Another class identifier gives E_INVALIDARG, and no memory E_OUTOFMEMORY;
// the out handle is then empty.
//
// Options are two parallel lists, names and values, paired by position; empty
// lists leave every option at its default. Lists of different lengths, or a
// value an option does not accept, give E_INVALIDARG. Names are exact; names
// the builder does not know are ignored, as are options that do not apply to
// the operation.
//
//   "KelDoValidation"           "true" / "false" (default)   parse: validate
//       against the document's DTD. The external DTD subset is read only then.
//   "KelExpandEntityReferences" "true" (default) / "false"   parse: replace
//       entity references by their content, or keep them as entity reference
//       nodes; write: write them expanded, or as references.
//   "KelEncoding"               "UTF-8" (default)            write: the only
//       encoding offered; it is declared in the XML declaration, also for
//       writeToString, whose text the caller turns back into UTF-8 bytes.
//   "KelFormatPrettyPrint"      "true" / "false" (default)   write: indent
//       elements that hold no text.
//   Values "true" and "false" are matched without regard to case.
//
// Parsing never reaches the network and keeps the parser's limits on entity
// expansion and nesting. Every parse supplies the attribute defaults of the
// declarations it reads. The resolver is asked for every external entity the
// parse meets (the external DTD subset only when validating); when it
// declines, a local regular file is read only inside the directory of the
// document file or of a file the resolver supplied (a document in memory has
// none). An external entity nothing supplies, a reference to an undeclared
// entity, a document that is not well-formed, or one that is invalid or whose
// DTD cannot be read when validation is asked, gives a negative code and no
// document; an entity nothing supplies is also logged (KelSysLogAbend).
//
// After a failed parse or write, getLastError gives the first error met, with
// its line and column (0 when they do not apply); after a success it gives the
// empty string. The builder stays usable after any failure.
//
// Writing to a file goes through a temporary file beside the target, renamed
// over it once complete, so a failed write leaves any earlier file untouched.
// A document with no document element is not written (E_FAIL).
//
// Ownership: reference-counted; documents it makes are the caller's.
// Threading: one thread at a time per builder; distinct builders may be used
// on distinct threads.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelBaseUnknown.h"
#include "KelIDOMDocument.h"
#include "KelIDOMImplementation.h"
#include "KelISAXEntityResolver.h"
#include "KelISAXErrorHandler.h"
#include "KelIXMLInputSource.h"
#include "KelListValKelUnicodeString.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

class KelIXMLDOMDocumentBuilder;
typedef KelVar<KelIXMLDOMDocumentBuilder> KelIXMLDOMDocumentBuilder_var;

extern ExportedByKelXMLParserItf const IID IID_KelIXMLDOMDocumentBuilder;
extern ExportedByKelXMLParserItf const CLSID CLSID_XML4C_DOM;

class ExportedByKelXMLParserItf KelIXMLDOMDocumentBuilder : public KelBaseUnknown {
 public:
  ~KelIXMLDOMDocumentBuilder() override;

  virtual long getDOMImplementation(KelIDOMImplementation_var& implementation) = 0;

  // Parses the file named by `systemId` (a path or a file: URI).
  virtual long parse(const KelUnicodeString& systemId, KelIDOMDocument_var& document,
                     const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues,
                     const KelISAXEntityResolver_var& resolver, const KelISAXErrorHandler_var& errorHandler) = 0;
  // Parses an input source made by KelIXMLSAXFactory.
  virtual long parse(const KelIXMLInputSource_var& source, KelIDOMDocument_var& document,
                     const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues,
                     const KelISAXEntityResolver_var& resolver, const KelISAXErrorHandler_var& errorHandler) = 0;

  // Writes the document to the file `path`.
  virtual long write(const KelIDOMDocument_var& document, const KelUnicodeString& path,
                     const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues) = 0;
  // Writes the document into `text` (replacing what it held).
  virtual long writeToString(const KelIDOMDocument_var& document, KelUnicodeString& text,
                             const KelListValKelUnicodeString& optionNames,
                             const KelListValKelUnicodeString& optionValues) = 0;

  // The first error of the last failed parse or write (see above).
  virtual long getLastError(KelUnicodeString& message, int& line, int& column) = 0;
};

ExportedByKelXMLParserItf long CreateKelIXMLDOMDocumentBuilder(KelIXMLDOMDocumentBuilder_var& builder,
                                                               const CLSID& clsid);
