#include "KelEdsDomParser.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "KelEEdsSAXEntityResolver.h"
#include "KelEnvironment.h"
#include "KelEdsResultCodes.h"
#include "KelError.h"
#include "KelGuard.h"
#include "KelIDOMImplementation.h"
#include "KelISAXEntityResolver.h"
#include "KelISAXErrorHandler.h"
#include "KelIXMLSAXFactory.h"
#include "KelListValKelUnicodeString.h"
#include "KelSysLog.h"

namespace {

constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsDomParser";
constexpr std::size_t kPathRoom = 260;

constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;
constexpr auto Success = KelEdsResultCodes<kSourceFile>::Success;

// The option sets handed to the builder; names and values pair by position.
struct BuilderOptions {
  KelListValKelUnicodeString names;
  KelListValKelUnicodeString values;
  void Add(const char* name, const char* value) {
    names.Append(KelUnicodeString(name));
    values.Append(KelUnicodeString(value));
  }
};

// A file is read with entity references expanded, a byte sequence with them
// kept.
BuilderOptions LoadOptions(unsigned char validate, bool expand) {
  BuilderOptions options;
  options.Add("KelDoValidation", validate != 0 ? "true" : "false");
  options.Add("KelExpandEntityReferences", expand ? "true" : "false");
  return options;
}

BuilderOptions WriteOptions() {
  BuilderOptions options;
  options.Add("KelEncoding", "UTF-8");
  options.Add("KelExpandEntityReferences", "true");
  return options;
}

// Copies `text` into a path buffer of kPathRoom; false (and nothing copied)
// when it does not fit.
bool CopyPath(const char* text, char* path) {
  const std::size_t length = strnlen(text, kPathRoom);
  if (length >= kPathRoom) return false;
  std::memcpy(path, text, length + 1);
  return true;
}

}  // namespace

KelEdsDomParser::KelEdsDomParser() {
  const long result = CreateKelIXMLDOMDocumentBuilder(_spDOMDocumentBuilder, CLSID_XML4C_DOM);
  if (result < 0 || _spDOMDocumentBuilder == NULL_var) {
    KelSysLogAbend("error in KelEdsDomParser::KelEdsDomParser: NULL_var == spDOMDocumentBuilder");
  }
}

// The members go in reverse order of declaration: builder, root, document.
KelEdsDomParser::~KelEdsDomParser() = default;

long KelEdsDomParser::Init(const KelUnicodeString& rootTag, const KelUnicodeString& version) {
  if (rootTag.IsNull()) return E_INVALIDARG;
  if (_spDOMDocumentBuilder == NULL_var) return S_OK;

  KelIDOMImplementation_var implementation;
  long result = _spDOMDocumentBuilder->getDOMImplementation(implementation);
  if (result < 0 || implementation == NULL_var) return result;

  ForgetDocument();
  result = implementation->createDocument(KelUnicodeString(""), KelUnicodeString("Integration"),
                                          KelIDOMDocumentType_var(), _spKelIDOMdocument);
  if (result < 0 || _spKelIDOMdocument == NULL_var) return result;

  result = _spKelIDOMdocument->createElement(rootTag, _spKelIDOMroot);
  // A tag that is not an XML name makes no element: setting the version
  // through the empty root handle then raises the null-handle error to the
  // caller, the new document staying without element.
  KelIDOMNode_var appended;
  _spKelIDOMdocument->appendChild(_spKelIDOMroot, appended);
  _spKelIDOMroot->setAttribute(KelUnicodeString("version"), version);
  return result;
}

long KelEdsDomParser::LoadFile(const KelUnicodeString& filePath, unsigned char validate) {
  const BuilderOptions options = LoadOptions(validate, true);
  if (_spDOMDocumentBuilder == NULL_var) return E_FAIL;
  ForgetDocument();
  const long result = _spDOMDocumentBuilder->parse(filePath, _spKelIDOMdocument, options.names, options.values,
                                                   KelISAXEntityResolver_var(), KelISAXErrorHandler_var());
  if (result < 0) return result;
  return SetAppropriateRoot();
}

long KelEdsDomParser::SetAppropriateRoot() {
  if (_spKelIDOMdocument == NULL_var) return E_FAIL;
  KelIDOMNode_var child;
  long result = _spKelIDOMdocument->getFirstChild(child);
  while (result >= 0 && child != NULL_var) {
    unsigned short type = 0;
    result = child->getNodeType(type);
    if (result < 0) break;
    if (type == KelIDOMNode::ELEMENT_NODE) {
      _spKelIDOMroot = KelQuery<KelIDOMElement>(child, IID_KelIDOMElement);
      return S_OK;
    }
    KelIDOMNode_var next;
    result = child->getNextSibling(next);
    child = next;
  }
  return E_FAIL;
}

long KelEdsDomParser::LoadStream(const _SEQUENCE_octet* bytes, unsigned char validate, const char* dtdFileName) {
  if (bytes == nullptr) return E_INVALIDARG;
  if (bytes->_length == 0) return E_FAIL;
  if (bytes->_buffer == nullptr) return E_INVALIDARG;

  KelIXMLSAXFactory_var factory;
  if (CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX) < 0 || factory == NULL_var) {
    KelSysLogAbend("***ERROR*** SAX factory cannot be created !!!!");
    return E_FAIL;
  }
  KelIXMLInputSource_var source;
  {
    // The whole sequence, whatever it holds: a broken sequence decodes to
    // U+FFFD, a zero byte to U+0000 (which the parser refuses, XML having no
    // such character). Well-formed bytes stay UTF-8 all the way to the
    // parser. The source keeps its own copy: the text goes before the parse
    // starts.
    const KelUnicodeString text = KelUnicodeString::AdoptUTF8(
        std::string(reinterpret_cast<const char*>(bytes->_buffer), bytes->_length));
    if (factory->createInputSourceFromBuffer(text, KelUnicodeString("Buffer"), source) < 0 || source == NULL_var) {
      return E_FAIL;
    }
  }
  const BuilderOptions options = LoadOptions(validate, false);

  KelISAXEntityResolver_var resolver;
  if (dtdFileName != nullptr && validate != 0) {
    // Whatever the search gives (at worst the bare name) goes to the resolver.
    char path[kPathRoom] = {};
    GetResourcePathFromEnvVar(dtdFileName, "KelDictionaryPath", path);
    auto* implementation = new KelEEdsSAXEntityResolver(dtdFileName, path);
    if (implementation == nullptr) return E_OUTOFMEMORY;
    KelISAXEntityResolver* face = nullptr;
    const long queried = implementation->QueryInterface(IID_KelISAXEntityResolver, reinterpret_cast<void**>(&face));
    implementation->Release();  // the adaptor holds its own reference
    if (queried < 0 || face == nullptr) return queried < 0 ? queried : E_FAIL;
    resolver = KelISAXEntityResolver_var::Adopt(face);
  }

  ForgetDocument();
  long result = _spDOMDocumentBuilder->parse(source, _spKelIDOMdocument, options.names, options.values, resolver,
                                             KelISAXErrorHandler_var());
  if (result < 0) return result;
  if (_spKelIDOMdocument == NULL_var) return E_FAIL;

  KelIDOMNode_var first;
  result = _spKelIDOMdocument->getFirstChild(first);
  if (result < 0 || first == NULL_var) return E_FAIL;
  // Empty when the document opens with something else than its element.
  _spKelIDOMroot = KelQuery<KelIDOMElement>(first, IID_KelIDOMElement);
  return result;
}

void KelEdsDomParser::ForgetDocument() {}

long KelEdsDomParser::GenerateFile(const KelUnicodeString& filePath) {
  if (_spKelIDOMdocument == NULL_var) return E_FAIL;
  const BuilderOptions options = WriteOptions();
  if (_spDOMDocumentBuilder == NULL_var) return S_OK;
  const long result = _spDOMDocumentBuilder->write(_spKelIDOMdocument, filePath, options.names, options.values);
  return result < 0 ? result : S_OK;
}

long KelEdsDomParser::GenerateStream(_SEQUENCE_octet** bytes) {
  if (bytes == nullptr) return E_INVALIDARG;
  if (*bytes != nullptr) {
    KelSysLogAbend("***ERROR*** input parameter must be null !!!");
    return E_INVALIDARG;
  }
  if (_spKelIDOMdocument == NULL_var) return E_FAIL;

  const BuilderOptions options = WriteOptions();
  KelUnicodeString text;
  const long result = _spDOMDocumentBuilder->writeToString(_spKelIDOMdocument, text, options.names, options.values);
  if (result < 0) return result;

  // The writer hands its bytes over as they are: copied once, into a
  // sequence of their exact size.
  const std::size_t size = text.GetLengthInUTF8();
  if (size == 0) return E_FAIL;
  const char* utf8 = text.ConvertToChar();
  _SEQUENCE_octet* sequence =
      _SEQUENCE_octet::Create(static_cast<unsigned long>(size), reinterpret_cast<const unsigned char*>(utf8));
  if (sequence == nullptr) return E_OUTOFMEMORY;
  *bytes = sequence;
  return result;
}

KelIDOMDocument_var KelEdsDomParser::GetDocument() const {
  if (_spKelIDOMdocument == NULL_var) {
    KelSysLogAbend("error in KelEdsDomParser::GetDocument (): _spKelIDOMdocument.isNull()");
  }
  return _spKelIDOMdocument;
}

KelIDOMNode_var KelEdsDomParser::GetRoot() const {
  if (_spKelIDOMroot == NULL_var) KelSysLogAbend("error in KelEdsDomParser::GetRoot (): _spKelIDOMroot.isNull()");
  return _spKelIDOMroot;
}

KelIXMLDOMDocumentBuilder_var KelEdsDomParser::GetDOMDocumentBuilder() const {
  if (_spDOMDocumentBuilder == NULL_var) {
    KelSysLogAbend("error in KelEdsDomParser::GetDOMDocumentBuilder (): NULL_var==_spDOMDocumentBuilder");
  }
  return _spDOMDocumentBuilder;
}

long KelEdsDomParser::dump() {
  if (_spKelIDOMdocument == NULL_var) return E_FAIL;
  const BuilderOptions options = WriteOptions();
  KelUnicodeString text;
  const long result = _spDOMDocumentBuilder->writeToString(_spKelIDOMdocument, text, options.names, options.values);
  return result < 0 ? E_FAIL : result;
}

long KelEdsDomParser::GetResourcePathFromEnvVar(const char* fileName, const char* variableName, char* path) {
  long result = Failure(__LINE__);
  if (path == nullptr) return result;
  path[0] = '\0';
  if (variableName == nullptr || fileName == nullptr) return result;

  char* value = nullptr;
  if (!KelGuard([&] {
        char found[kPathRoom] = {};
        const int official = KelGetFilePathFromOfficialVariable(fileName, variableName, found, kPathRoom);
        int fileTest = -1;
        if (official == 0) {
          fileTest = KelGetFileInfo(found, nullptr);
          if (fileTest == 0 && CopyPath(found, path)) result = Success(__LINE__);
        }
        if (official != 0 || fileTest == -1) {
          // Every piece of the variable, an empty one included, is a directory.
          KelOperatingSystem system{};
          KelGetOperatingSystem(&system);
          const char separator = system.kind == KelOSWindows ? ';' : ':';
          if (KelGetEnvValue(variableName, &value) == 0 && value != nullptr) {
            const std::string list(value);
            std::size_t start = 0;
            while (start <= list.size()) {
              std::size_t end = list.find(separator, start);
              if (end == std::string::npos) end = list.size();
              const std::string directory = list.substr(start, end - start);
              char candidate[kPathRoom] = {};
              if (KelMakePath(directory.c_str(), fileName, candidate, kPathRoom) == 0 &&
                  KelGetFileInfo(candidate, nullptr) == 0 && CopyPath(candidate, path)) {
                result = Success(__LINE__);
                break;
              }
              start = end + 1;
            }
          }
        }
        // The parser then looks for the bare name itself.
        if (result < 0 && CopyPath(fileName, path)) result = Success(__LINE__);
      })) {
    result = Failure(__LINE__);
  }
  if (value != nullptr) KelFreeEnvValue(value);
  if (result < 0) path[0] = '\0';
  return result;
}
