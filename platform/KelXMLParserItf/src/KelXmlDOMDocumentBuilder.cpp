#include "KelXmlDOMDocumentBuilder.h"

#include <memory>
#include <utility>

#include "KelXmlCall.h"
#include "KelXmlDOMImplementation.h"
#include "KelXmlDocument.h"
#include "KelXmlInputSource.h"
#include "KelXmlLibrary.h"
#include "KelXmlOptions.h"
#include "KelXmlParse.h"
#include "KelXmlText.h"
#include "KelXmlWrite.h"

KelImplementClass(KelXmlDOMDocumentBuilder, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

long KelXmlDOMDocumentBuilder::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_KelIXMLDOMDocumentBuilder) {
    AddRef();
    *object = static_cast<KelIXMLDOMDocumentBuilder*>(this);
    return S_OK;
  }
  return KelBaseUnknown::QueryInterface(iid, object);
}

void KelXmlDOMDocumentBuilder::SetError(const std::string& message, int line, int column) {
  error_message_ = message;
  error_line_ = line;
  error_column_ = column;
}

long KelXmlDOMDocumentBuilder::getDOMImplementation(KelIDOMImplementation_var& implementation) {
  implementation = nullptr;
  auto* made = new KelXmlDOMImplementation;
  if (made == nullptr) return E_OUTOFMEMORY;
  implementation = KelIDOMImplementation_var::Adopt(made);
  return S_OK;
}

long KelXmlDOMDocumentBuilder::parse(const KelUnicodeString& systemId, KelIDOMDocument_var& document,
                                     const KelListValKelUnicodeString& optionNames,
                                     const KelListValKelUnicodeString& optionValues,
                                     const KelISAXEntityResolver_var& resolver,
                                     const KelISAXErrorHandler_var& errorHandler) {
  document = nullptr;
  return kelxml::Call([&]() -> long {
    return Parse(kelxml::Utf8(systemId), nullptr, document, optionNames, optionValues, resolver, errorHandler);
  });
}

long KelXmlDOMDocumentBuilder::parse(const KelIXMLInputSource_var& source, KelIDOMDocument_var& document,
                                     const KelListValKelUnicodeString& optionNames,
                                     const KelListValKelUnicodeString& optionValues,
                                     const KelISAXEntityResolver_var& resolver,
                                     const KelISAXErrorHandler_var& errorHandler) {
  document = nullptr;
  return kelxml::Call([&]() -> long {
    const auto* mine = dynamic_cast<const KelXmlInputSource*>(source.get());
    if (mine == nullptr) {
      SetError("the input source is missing or was not made by this parser's SAX factory");
      return E_INVALIDARG;
    }
    // Keeps the source alive through the parse, whatever the caller does.
    const KelIXMLInputSource_var held = source;
    return Parse(mine->SystemId(), mine->InMemory() ? mine : nullptr, document, optionNames, optionValues, resolver,
                 errorHandler);
  });
}

long KelXmlDOMDocumentBuilder::Parse(const std::string& systemId, const KelXmlInputSource* source,
                                     KelIDOMDocument_var& document, const KelListValKelUnicodeString& optionNames,
                                     const KelListValKelUnicodeString& optionValues,
                                     const KelISAXEntityResolver_var& resolver,
                                     const KelISAXErrorHandler_var& errorHandler) {
  SetError("");
  kelxml::Options options;
  std::string problem;
  if (!kelxml::ReadOptions(optionNames, optionValues, options, problem)) {
    SetError(problem);
    return E_INVALIDARG;
  }
  if (source == nullptr && kelxml::IsNetworkLocation(systemId.c_str())) {
    SetError("network access refused for \"" + systemId + "\"");
    return E_FAIL;
  }
  if (source != nullptr && source->Text().size() > kelxml::kMaxTextBytes) {
    SetError("the document is too large");
    return E_INVALIDARG;
  }
  // The caller's objects stay alive through the parse.
  const KelISAXEntityResolver_var heldResolver = resolver;
  const KelISAXErrorHandler_var heldHandler = errorHandler;
  kelxml::ParseFailure failure;
  const std::string_view text = source != nullptr ? source->Text() : std::string_view();
  std::unique_ptr<kelxml::Tree> tree = kelxml::ParseDocument(systemId, source != nullptr ? &text : nullptr, options,
                                                             resolver.get(), errorHandler.get(), failure);
  if (tree == nullptr) {
    SetError(failure.message, failure.line, failure.column);
    return E_FAIL;
  }
  KelXmlDocument* made = KelXmlDocument::Create(std::move(tree), !options.expand);
  if (made == nullptr) return E_OUTOFMEMORY;
  document = KelIDOMDocument_var::Adopt(made);
  return S_OK;
}

KelXmlDocument* KelXmlDOMDocumentBuilder::Writable(const KelIDOMDocument_var& document,
                                                   const KelListValKelUnicodeString& optionNames,
                                                   const KelListValKelUnicodeString& optionValues,
                                                   kelxml::Options& options, long& result) {
  SetError("");
  std::string problem;
  result = E_INVALIDARG;
  if (!kelxml::ReadOptions(optionNames, optionValues, options, problem)) {
    SetError(problem);
    return nullptr;
  }
  auto* mine = dynamic_cast<KelXmlDocument*>(document.get());
  if (mine == nullptr) {
    SetError("the document is missing or was not made by this parser");
    return nullptr;
  }
  if (mine->DocumentElement() == nullptr) {
    SetError("the document has no document element");
    result = E_FAIL;
    return nullptr;
  }
  result = S_OK;
  return mine;
}

long KelXmlDOMDocumentBuilder::write(const KelIDOMDocument_var& document, const KelUnicodeString& path,
                                     const KelListValKelUnicodeString& optionNames,
                                     const KelListValKelUnicodeString& optionValues) {
  return kelxml::Call([&]() -> long {
    kelxml::Options options;
    long result = E_FAIL;
    KelXmlDocument* mine = Writable(document, optionNames, optionValues, options, result);
    if (mine == nullptr) return result;
    const std::string target = kelxml::Utf8(path);
    if (target.empty()) {
      SetError("no file path given");
      return E_INVALIDARG;
    }
    std::string problem;
    result = kelxml::WriteDocumentToFile(mine, options, target, problem);
    if (result < 0) SetError(problem.empty() ? "the document could not be written" : problem);
    return result;
  });
}

long KelXmlDOMDocumentBuilder::writeToString(const KelIDOMDocument_var& document, KelUnicodeString& text,
                                             const KelListValKelUnicodeString& optionNames,
                                             const KelListValKelUnicodeString& optionValues) {
  return kelxml::Call([&]() -> long {
    kelxml::Options options;
    long result = E_FAIL;
    KelXmlDocument* mine = Writable(document, optionNames, optionValues, options, result);
    if (mine == nullptr) return result;
    KelUnicodeString written;
    result = kelxml::WriteDocumentToString(mine, options, written);
    if (result < 0) {
      SetError("the document could not be written");
      return result;
    }
    text = std::move(written);
    return S_OK;
  });
}

long KelXmlDOMDocumentBuilder::getLastError(KelUnicodeString& message, int& line, int& column) {
  return kelxml::Call([&]() -> long {
    kelxml::Assign(message, error_message_.data(), error_message_.size());
    line = error_line_;
    column = error_column_;
    return S_OK;
  });
}

long CreateKelIXMLDOMDocumentBuilder(KelIXMLDOMDocumentBuilder_var& builder, const CLSID& clsid) {
  builder = nullptr;
  if (clsid != CLSID_XML4C_DOM) return E_INVALIDARG;
  kelxml::InitLibrary();
  auto* made = new KelXmlDOMDocumentBuilder;
  if (made == nullptr) return E_OUTOFMEMORY;
  builder = KelIXMLDOMDocumentBuilder_var::Adopt(made);
  return S_OK;
}
