#include "KelXmlDOMDocumentBuilder.h"

#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>

#include "KelXmlCall.h"
#include "KelXmlDOMImplementation.h"
#include "KelXmlDocument.h"
#include "KelXmlInputSource.h"
#include "KelXmlLibrary.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlDOMDocumentBuilder, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

namespace {

// ---------------------------------------------------------------- options

struct Options {
  bool validate = false;
  bool expand = true;
  bool pretty = false;
};

bool ReadFlag(const KelUnicodeString& value, bool& flag) {
  std::string text = kelxml::Utf8(value);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  if (text == "true") {
    flag = true;
  } else if (text == "false") {
    flag = false;
  } else {
    return false;
  }
  return true;
}

// Reads the option lists; false (with `problem` said) for an unusable pair.
bool ReadOptions(const KelListValKelUnicodeString& names, const KelListValKelUnicodeString& values,
                 Options& options, std::string& problem) {
  if (names.Size() != values.Size()) {
    problem = "option names and option values differ in number";
    return false;
  }
  for (int i = 1; i <= names.Size(); ++i) {
    const KelUnicodeString& name = names[i];
    const KelUnicodeString& value = values[i];
    bool good = true;
    if (name == KelUnicodeString("KelDoValidation")) {
      good = ReadFlag(value, options.validate);
    } else if (name == KelUnicodeString("KelExpandEntityReferences")) {
      good = ReadFlag(value, options.expand);
    } else if (name == KelUnicodeString("KelFormatPrettyPrint")) {
      good = ReadFlag(value, options.pretty);
    } else if (name == KelUnicodeString("KelEncoding")) {
      std::string encoding = kelxml::Utf8(value);
      std::transform(encoding.begin(), encoding.end(), encoding.begin(),
                     [](unsigned char c) { return std::toupper(c); });
      good = encoding == "UTF-8" || encoding == "UTF8";
    }
    if (!good) {
      problem = "option " + kelxml::Utf8(name) + " does not accept the value \"" + kelxml::Utf8(value) + "\"";
      return false;
    }
  }
  return true;
}

// Whether an identifier names a location reached through a network: it has a
// URI scheme (two characters at least, so that a drive letter is not one) other
// than "file".
bool IsNetworkLocation(const char* identifier) {
  if (identifier == nullptr || !std::isalpha(static_cast<unsigned char>(identifier[0]))) return false;
  std::size_t i = 0;
  std::string scheme;
  for (; identifier[i] != '\0'; ++i) {
    const auto c = static_cast<unsigned char>(identifier[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') break;
    scheme += static_cast<char>(std::tolower(c));
  }
  return i >= 2 && identifier[i] == ':' && scheme != "file";
}

// ---------------------------------------------------------------- parsing

// What one parse shares with its SAX hooks (through the context's _private).
struct ParseSession {
  KelISAXEntityResolver* resolver = nullptr;
  KelISAXErrorHandler* handler = nullptr;
  bool validate = false;
  bool have_error = false;  // an error or fatal error was met
  std::string message;      // the first one
  int line = 0;
  int column = 0;
  bool callback_failed = false;  // a hook of the caller raised a platform error
  std::exception_ptr raised;     // a hook of the caller raised something else
};

enum class Level { Warning, Error, Fatal };

ParseSession* SessionOf(void* context) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  return ctxt != nullptr ? static_cast<ParseSession*>(ctxt->_private) : nullptr;
}

// Runs a call into the caller's code from inside libxml2, where nothing may be
// raised: a platform error is flushed, anything else kept for later; either
// stops the parse.
template <class Body>
void CallOut(xmlParserCtxtPtr ctxt, ParseSession& session, Body&& body) {
  try {
    if (!KelGuard(std::forward<Body>(body))) {
      session.callback_failed = true;
      xmlStopParser(ctxt);
    }
  } catch (...) {
    if (!session.raised) session.raised = std::current_exception();
    xmlStopParser(ctxt);
  }
}

void Report(xmlParserCtxtPtr ctxt, ParseSession& session, Level level, const std::string& message,
            const char* file, int line, int column) {
  if (level != Level::Warning && !session.have_error) {
    session.have_error = true;
    session.message = message;
    session.line = line;
    session.column = column;
  }
  if (session.handler == nullptr) return;
  CallOut(ctxt, session, [&] {
    KelXMLParseError problem;
    problem.message = KelUnicodeString(message);
    problem.systemId = KelUnicodeString(file != nullptr ? file : "");
    problem.line = line;
    problem.column = column;
    switch (level) {
      case Level::Warning:
        session.handler->warning(problem);
        break;
      case Level::Error:
        session.handler->error(problem);
        break;
      case Level::Fatal:
        session.handler->fatalError(problem);
        break;
    }
  });
}

void OnError(void* context, xmlErrorPtr error) {
  ParseSession* session = SessionOf(context);
  if (session == nullptr || error == nullptr) return;
  try {
    const Level level = error->level == XML_ERR_FATAL   ? Level::Fatal
                        : error->level == XML_ERR_ERROR ? Level::Error
                                                        : Level::Warning;
    Report(static_cast<xmlParserCtxtPtr>(context), *session, level, kelxml::TrimMessage(error->message),
           error->file, error->line, error->int2);
  } catch (...) {
    if (!session->raised) session->raised = std::current_exception();
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
  }
}

void ReportHere(xmlParserCtxtPtr ctxt, ParseSession& session, Level level, const std::string& message) {
  const xmlParserInputPtr input = ctxt->input;
  Report(ctxt, session, level, message, input != nullptr ? input->filename : nullptr,
         input != nullptr ? input->line : 0, input != nullptr ? input->col : 0);
}

xmlEntityPtr FindDeclared(xmlDtdPtr dtd, const xmlChar* name, bool parameter) {
  if (dtd == nullptr) return nullptr;
  void* table = parameter ? dtd->pentities : dtd->entities;
  return table != nullptr ? static_cast<xmlEntityPtr>(xmlHashLookup(static_cast<xmlHashTablePtr>(table), name))
                          : nullptr;
}

// Declares entities as libxml2 would, except that an external entity is made
// to look already read, with empty content: libxml2 would otherwise read it
// through its process-wide loader, outside the resolver and any control.
void OnEntityDecl(void* context, const xmlChar* name, int type, const xmlChar* publicId, const xmlChar* systemId,
                  xmlChar* content) {
  xmlSAX2EntityDecl(context, name, type, publicId, systemId, content);
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  ParseSession* session = SessionOf(context);
  if (ctxt->myDoc == nullptr || session == nullptr) return;
  const bool general = type == XML_EXTERNAL_GENERAL_PARSED_ENTITY;
  if (!general && type != XML_EXTERNAL_PARAMETER_ENTITY) return;
  bool emptied = false;
  for (xmlDtdPtr dtd : {ctxt->myDoc->intSubset, ctxt->myDoc->extSubset}) {
    xmlEntityPtr entity = FindDeclared(dtd, name, !general);
    if (entity == nullptr || entity->etype != type) continue;
    if (general && entity->children == nullptr) {
      xmlNodePtr nothing = xmlNewDocText(ctxt->myDoc, BAD_CAST "");
      if (nothing == nullptr) continue;
      nothing->parent = reinterpret_cast<xmlNodePtr>(entity);
      entity->children = entity->last = nothing;
      entity->owner = 1;
      entity->checked = 2;  // checked, no nested references, no markup
      emptied = true;
    } else if (!general && entity->content == nullptr) {
      // A parameter entity with content is read from it, not from its file.
      entity->content = xmlStrdup(BAD_CAST "");
      entity->length = 0;
      emptied = entity->content != nullptr;
    }
  }
  if (emptied) {
    try {
      ReportHere(ctxt, *session, Level::Warning,
                 std::string("external entity '") + reinterpret_cast<const char*>(name) + "' is not read");
    } catch (...) {
      if (!session->raised) session->raised = std::current_exception();
      xmlStopParser(ctxt);
    }
  }
}

xmlParserInputPtr OpenSource(xmlParserCtxtPtr ctxt, ParseSession& session, const KelXmlInputSource& source) {
  if (source.InMemory()) {
    const std::string& text = source.Text();
    if (text.size() > kelxml::kMaxTextBytes) return nullptr;
    xmlParserInputBufferPtr buffer =
        xmlParserInputBufferCreateMem(text.data(), static_cast<int>(text.size()), XML_CHAR_ENCODING_NONE);
    if (buffer == nullptr) return nullptr;
    xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_NONE);
    if (input == nullptr) {
      xmlFreeParserInputBuffer(buffer);
      return nullptr;
    }
    if (!source.SystemId().empty()) {
      input->filename = reinterpret_cast<const char*>(xmlStrdup(BAD_CAST source.SystemId().c_str()));
    }
    return input;
  }
  if (IsNetworkLocation(source.SystemId().c_str())) {
    ReportHere(ctxt, session, Level::Error, "network access refused for \"" + source.SystemId() + "\"");
    return nullptr;
  }
  return xmlLoadExternalEntity(source.SystemId().c_str(),
                               source.PublicId().empty() ? nullptr : source.PublicId().c_str(), ctxt);
}

// Asked by libxml2 for the external DTD subset (the only external entity it
// is left to read).
xmlParserInputPtr OnResolveEntity(void* context, const xmlChar* publicId, const xmlChar* systemId) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  ParseSession* session = SessionOf(context);
  if (session == nullptr) return nullptr;
  try {
    if (session->resolver != nullptr) {
      KelIXMLInputSource_var answer;
      long code = E_FAIL;
      const KelUnicodeString publicText(reinterpret_cast<const char*>(publicId));
      const KelUnicodeString systemText(reinterpret_cast<const char*>(systemId));
      CallOut(ctxt, *session, [&] { code = session->resolver->resolveEntity(publicText, systemText, answer); });
      if (session->callback_failed || session->raised) return nullptr;
      if (code >= 0 && answer != nullptr) {
        const auto* source = dynamic_cast<const KelXmlInputSource*>(answer.get());
        if (source == nullptr) {
          ReportHere(ctxt, *session, Level::Error, "the entity resolver answered with an unknown input source");
          return nullptr;
        }
        return OpenSource(ctxt, *session, *source);
      }
    }
    // Declined: the parser finds the entity itself, relative to the document.
    if (IsNetworkLocation(reinterpret_cast<const char*>(systemId))) {
      ReportHere(ctxt, *session, Level::Error,
                 std::string("network access refused for \"") + reinterpret_cast<const char*>(systemId) + "\"");
      return nullptr;
    }
    return xmlSAX2ResolveEntity(context, publicId, systemId);
  } catch (...) {
    if (!session->raised) session->raised = std::current_exception();
    xmlStopParser(ctxt);
    return nullptr;
  }
}

struct TextReader {
  const std::string* text;
  std::size_t offset;
};

int ReadText(void* context, char* buffer, int length) {
  auto* reader = static_cast<TextReader*>(context);
  const std::size_t left = reader->text->size() - reader->offset;
  const std::size_t count = std::min(left, static_cast<std::size_t>(std::max(length, 0)));
  std::memcpy(buffer, reader->text->data() + reader->offset, count);
  reader->offset += count;
  return static_cast<int>(count);
}

// ---------------------------------------------------------------- writing

// Collects written UTF-8 as UTF-16, a character split between two pieces
// being held back until its end arrives.
struct StringSink {
  std::u16string text;
  std::string held;
  bool failed = false;

  void Take(const char* data, std::size_t length) {
    const std::size_t whole = kelxml::CompleteUtf8Prefix(data, length);
    KelUtf::AppendUtf16(data, whole, text);
    held.assign(data + whole, length - whole);
  }
  void Write(const char* data, std::size_t length) {
    if (held.empty()) {
      Take(data, length);
      return;
    }
    std::string joined = held;
    joined.append(data, length);
    Take(joined.data(), joined.size());
  }
  void Finish() {
    KelUtf::AppendUtf16(held.data(), held.size(), text);
    held.clear();
  }
};

int WriteToString(void* context, const char* data, int length) {
  auto* sink = static_cast<StringSink*>(context);
  // Nothing may be raised through libxml2: a failure is noted and reported
  // once the writing is over.
  try {
    sink->Write(data, static_cast<std::size_t>(length));
  } catch (...) {
    sink->failed = true;
  }
  return length;
}

// Writes into a temporary file beside the target and renames it over the
// target once complete, so that the target is never left half written.
class FileSink {
 public:
  explicit FileSink(std::string target) : target_(std::move(target)) {}
  ~FileSink() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool Open() {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      temporary_ = target_ + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
      fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
      Fail();
      temporary_.clear();
      return false;
    }
    buffer_.reserve(kChunk);
    return true;
  }

  void Write(const char* data, std::size_t length) {
    if (error_ != 0) return;
    buffer_.append(data, length);
    if (buffer_.size() >= kChunk) Flush();
  }

  // Completes the file and puts it in place; false when that failed.
  bool Commit() {
    Flush();
    struct stat existing {};
    // A file written over keeps its permissions.
    if (error_ == 0 && ::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
      if (::fchmod(fd_, existing.st_mode & 07777) != 0) Fail();
    }
    if (::close(fd_) != 0 && error_ == 0) Fail();
    fd_ = -1;
    if (error_ == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) Fail();
    if (error_ == 0) temporary_.clear();
    return error_ == 0;
  }

  std::string Problem() const { return "cannot write \"" + target_ + "\": " + std::strerror(error_); }

 private:
  static constexpr std::size_t kChunk = 1 << 16;

  void Fail() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  void Flush() {
    std::size_t done = 0;
    while (error_ == 0 && done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Fail();
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
  std::string buffer_;
};

int WriteToFile(void* context, const char* data, int length) {
  static_cast<FileSink*>(context)->Write(data, static_cast<std::size_t>(length));
  return length;
}

// The document to serialise: the document itself, or a copy with its entity
// references expanded when that is asked and needed. Null when memory ran out.
struct Printable {
  xmlDocPtr document = nullptr;
  xmlDocPtr copy = nullptr;
  ~Printable() {
    if (copy != nullptr) xmlFreeDoc(copy);
  }
};

long Prepare(KelXmlDocument* document, const Options& options, Printable& printable) {
  xmlDocPtr doc = document->Doc();
  printable.document = doc;
  if (options.expand && document->MayHoldReferences() && kelxml::ContainsEntityReferences(doc)) {
    printable.copy = kelxml::CopyDocumentExpanded(doc);
    if (printable.copy == nullptr) return E_OUTOFMEMORY;
    printable.document = printable.copy;
  }
  return S_OK;
}

// Serialises with an XML declaration that names UTF-8.
long Serialize(xmlDocPtr document, const Options& options, xmlOutputWriteCallback write, void* context) {
  xmlSaveCtxtPtr save = xmlSaveToIO(write, nullptr, context, "UTF-8", options.pretty ? XML_SAVE_FORMAT : 0);
  if (save == nullptr) return E_OUTOFMEMORY;
  const long written = xmlSaveDoc(save, document);
  const int flushed = xmlSaveClose(save);
  return written < 0 || flushed < 0 ? E_FAIL : S_OK;
}

}  // namespace

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
    if (!mine->InMemory()) {
      return Parse(mine->SystemId(), nullptr, document, optionNames, optionValues, resolver, errorHandler);
    }
    return Parse(mine->SystemId(), mine, document, optionNames, optionValues, resolver, errorHandler);
  });
}

long KelXmlDOMDocumentBuilder::Parse(const std::string& systemId, const KelXmlInputSource* source,
                                     KelIDOMDocument_var& document, const KelListValKelUnicodeString& optionNames,
                                     const KelListValKelUnicodeString& optionValues,
                                     const KelISAXEntityResolver_var& resolver,
                                     const KelISAXErrorHandler_var& errorHandler) {
  SetError("");
  Options options;
  std::string problem;
  if (!ReadOptions(optionNames, optionValues, options, problem)) {
    SetError(problem);
    return E_INVALIDARG;
  }
  if (source == nullptr && IsNetworkLocation(systemId.c_str())) {
    SetError("network access refused for \"" + systemId + "\"");
    return E_FAIL;
  }
  if (source != nullptr && source->Text().size() > kelxml::kMaxTextBytes) {
    SetError("the document is too large");
    return E_INVALIDARG;
  }

  ParseSession session;
  session.resolver = resolver.get();
  session.handler = errorHandler.get();
  session.validate = options.validate;
  // The caller's objects stay alive through the parse.
  const KelISAXEntityResolver_var heldResolver = resolver;
  const KelISAXErrorHandler_var heldHandler = errorHandler;

  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) return E_OUTOFMEMORY;
  ctxt->_private = &session;
  ctxt->sax->serror = OnError;
  ctxt->sax->entityDecl = OnEntityDecl;
  ctxt->sax->resolveEntity = OnResolveEntity;

  int flags = XML_PARSE_NONET;
  if (options.validate) flags |= XML_PARSE_DTDVALID | XML_PARSE_DTDATTR;
  if (options.expand) flags |= XML_PARSE_NOENT;
  xmlDocPtr doc = nullptr;
  if (source != nullptr) {
    TextReader reader{&source->Text(), 0};
    doc = xmlCtxtReadIO(ctxt, ReadText, nullptr, &reader, systemId.empty() ? nullptr : systemId.c_str(), nullptr,
                        flags);
  } else {
    doc = xmlCtxtReadFile(ctxt, systemId.c_str(), nullptr, flags);
  }
  const bool failed = doc == nullptr || ctxt->wellFormed == 0 || (options.validate && ctxt->valid == 0) ||
                      session.callback_failed || session.raised;
  xmlFreeParserCtxt(ctxt);
  if (failed) {
    if (doc != nullptr) xmlFreeDoc(doc);
    if (session.raised) std::rethrow_exception(session.raised);
    if (session.have_error) {
      SetError(session.message, session.line, session.column);
    } else if (session.callback_failed) {
      SetError("the entity resolver or error handler raised an error");
    } else {
      SetError("the document could not be parsed");
    }
    return E_FAIL;
  }
  const bool mayHoldReferences = !options.expand && (doc->intSubset != nullptr || doc->extSubset != nullptr);
  KelXmlDocument* made = KelXmlDocument::Create(doc, mayHoldReferences);
  if (made == nullptr) return E_OUTOFMEMORY;
  document = KelIDOMDocument_var::Adopt(made);
  return S_OK;
}

long KelXmlDOMDocumentBuilder::write(const KelIDOMDocument_var& document, const KelUnicodeString& path,
                                     const KelListValKelUnicodeString& optionNames,
                                     const KelListValKelUnicodeString& optionValues) {
  return kelxml::Call([&]() -> long {
    SetError("");
    Options options;
    std::string problem;
    if (!ReadOptions(optionNames, optionValues, options, problem)) {
      SetError(problem);
      return E_INVALIDARG;
    }
    auto* mine = dynamic_cast<KelXmlDocument*>(document.get());
    if (mine == nullptr) {
      SetError("the document is missing or was not made by this parser");
      return E_INVALIDARG;
    }
    if (xmlDocGetRootElement(mine->Doc()) == nullptr) {
      SetError("the document has no document element");
      return E_FAIL;
    }
    const std::string target = kelxml::Utf8(path);
    if (target.empty()) {
      SetError("no file path given");
      return E_INVALIDARG;
    }
    Printable printable;
    long result = Prepare(mine, options, printable);
    if (result < 0) return result;
    FileSink sink(target);
    if (!sink.Open()) {
      SetError(sink.Problem());
      return E_FAIL;
    }
    result = Serialize(printable.document, options, WriteToFile, &sink);
    if (result < 0) return result;
    if (!sink.Commit()) {
      SetError(sink.Problem());
      return E_FAIL;
    }
    return S_OK;
  });
}

long KelXmlDOMDocumentBuilder::writeToString(const KelIDOMDocument_var& document, KelUnicodeString& text,
                                             const KelListValKelUnicodeString& optionNames,
                                             const KelListValKelUnicodeString& optionValues) {
  return kelxml::Call([&]() -> long {
    SetError("");
    Options options;
    std::string problem;
    if (!ReadOptions(optionNames, optionValues, options, problem)) {
      SetError(problem);
      return E_INVALIDARG;
    }
    auto* mine = dynamic_cast<KelXmlDocument*>(document.get());
    if (mine == nullptr) {
      SetError("the document is missing or was not made by this parser");
      return E_INVALIDARG;
    }
    if (xmlDocGetRootElement(mine->Doc()) == nullptr) {
      SetError("the document has no document element");
      return E_FAIL;
    }
    Printable printable;
    long result = Prepare(mine, options, printable);
    if (result < 0) return result;
    StringSink sink;
    result = Serialize(printable.document, options, WriteToString, &sink);
    if (result < 0) return result;
    if (sink.failed) return E_OUTOFMEMORY;
    sink.Finish();
    text = KelUnicodeString(std::move(sink.text));
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
