// KelXmlDOMDocumentBuilder: the KelIXMLDOMDocumentBuilder of the stand-in,
// over libxml2's parser and serializer.
//
// Each parse runs on a parser context of its own, with its own SAX hooks for
// errors, entity declarations and entity resolution; nothing process-wide is
// changed. The builder keeps only the first error of its last failed
// operation.
//
// Threading: one thread at a time per builder.
#pragma once

#include <string>

#include "KelIXMLDOMDocumentBuilder.h"

class KelXmlInputSource;

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
  void SetError(const std::string& message, int line = 0, int column = 0);

  std::string error_message_;
  int error_line_ = 0;
  int error_column_ = 0;
};
