// KelXmlDOMDocumentBuilder: the KelIXMLDOMDocumentBuilder of the stand-in,
// over libxml2's parser and serializer.
//
// Parsing is KelXmlParse's, writing KelXmlWrite's; the builder reads the
// options, checks its arguments and keeps the first error of its last failed
// operation.
//
// Threading: one thread at a time per builder.
#pragma once

#include <string>

#include "KelIXMLDOMDocumentBuilder.h"

class KelXmlDocument;
class KelXmlInputSource;
namespace kelxml {
struct Options;
}

class KelXmlDOMDocumentBuilder final : public KelIXMLDOMDocumentBuilder {
  KelDeclareClass

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getDOMImplementation(KelIDOMImplementation_var& implementation) override;
  long parse(const KelUnicodeString& systemId, KelIDOMDocument_var& document,
             const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues,
             const KelISAXEntityResolver_var& resolver, const KelISAXErrorHandler_var& errorHandler) override;
  long parse(const KelIXMLInputSource_var& source, KelIDOMDocument_var& document,
             const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues,
             const KelISAXEntityResolver_var& resolver, const KelISAXErrorHandler_var& errorHandler) override;
  long write(const KelIDOMDocument_var& document, const KelUnicodeString& path,
             const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues) override;
  long writeToString(const KelIDOMDocument_var& document, KelUnicodeString& text,
                     const KelListValKelUnicodeString& optionNames,
                     const KelListValKelUnicodeString& optionValues) override;
  long getLastError(KelUnicodeString& message, int& line, int& column) override;

 private:
  // Parses the file `systemId`, or `source` when given.
  long Parse(const std::string& systemId, const KelXmlInputSource* source, KelIDOMDocument_var& document,
             const KelListValKelUnicodeString& optionNames, const KelListValKelUnicodeString& optionValues,
             const KelISAXEntityResolver_var& resolver, const KelISAXErrorHandler_var& errorHandler);
  // The document to write, once the options are read and the document found
  // writable; null (with `result` and the error set) otherwise.
  KelXmlDocument* Writable(const KelIDOMDocument_var& document, const KelListValKelUnicodeString& optionNames,
                           const KelListValKelUnicodeString& optionValues, kelxml::Options& options, long& result);
  void SetError(const std::string& message, int line = 0, int column = 0);

  std::string error_message_;
  int error_line_ = 0;
  int error_column_ = 0;
};
