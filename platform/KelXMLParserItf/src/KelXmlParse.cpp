#include "KelXmlParse.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <fstream>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "KelGuard.h"
#include "KelSysLog.h"
#include "KelUnicodeString.h"
#include "KelXmlFiles.h"
#include "KelXmlInputSource.h"
#include "KelXmlText.h"
#include "KelXmlConvert.h"
#include "KelXmlQuickParse.h"
#include "KelXmlTreeBuilder.h"

namespace kelxml {

namespace {

// What one parse shares with its SAX hooks (through the context's _private).
struct ParseSession {
  KelISAXEntityResolver* resolver = nullptr;
  KelISAXErrorHandler* handler = nullptr;
  bool validate = false;    // the external DTD subset is read only then
  bool in_memory = false;   // the document is text without a location
  // Directories (links resolved) in which the parser itself may read an
  // external entity that the resolver declines: the document's own, and
  // those of the files the resolver supplied.
  std::vector<std::string> roots;
  // External general entities whose text was read, made internal for the
  // parse so that libxml2 parses that text (and never reads the file).
  std::unordered_set<xmlEntityPtr> read_entities;
  bool refused = false;     // an external entity could not be supplied
  bool have_error = false;  // an error or fatal error was met
  std::string message;      // the first one
  int line = 0;
  int column = 0;
  bool callback_failed = false;  // a hook of the caller raised a platform error
  std::exception_ptr raised;     // a hook of the caller raised something else
  // The tree builder of a parse without libxml2's tree (KelXmlTreeBuilder.h).
  // Until its first element, what the parse reports is held: a document
  // type met before then makes the parse start again with libxml2's tree,
  // which reports it all again.
  TreeBuilder* builder = nullptr;
  bool holding = false;
  struct Held {
    int level;
    std::string message;
    std::string file;
    bool has_file;
    int line;
    int column;
  };
  std::vector<Held> held;
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

void Report(xmlParserCtxtPtr ctxt, ParseSession& session, Level level, const std::string& message, const char* file,
            int line, int column) {
  if (session.holding) {
    if (session.builder == nullptr || !session.builder->FellBack()) {
      session.held.push_back({static_cast<int>(level), message, file != nullptr ? file : "", file != nullptr, line, column});
    }
    return;
  }
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
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    // A reference to an entity that nothing read declares (libxml2 warns when
    // declarations were left unread, as the external DTD subset is without
    // validation): kept, it would lose the entity's content without a word.
    const bool undeclared = error->code == XML_WAR_UNDECLARED_ENTITY;
    const Level level = error->level == XML_ERR_FATAL || undeclared ? Level::Fatal
                        : error->level == XML_ERR_ERROR             ? Level::Error
                                                                    : Level::Warning;
    Report(ctxt, *session, level, TrimMessage(error->message), error->file, error->line, error->int2);
    if (undeclared) {
      session->refused = true;
      ctxt->wellFormed = 0;
      xmlStopParser(ctxt);
    }
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

// Reports what was held until the first element, and from then on reports
// at once.
void ReleaseHeld(xmlParserCtxtPtr ctxt, ParseSession& session) {
  session.holding = false;
  std::vector<ParseSession::Held> held;
  held.swap(session.held);
  for (const ParseSession::Held& report : held) {
    Report(ctxt, session, static_cast<Level>(report.level), report.message,
           report.has_file ? report.file.c_str() : nullptr, report.line, report.column);
  }
}

// The SAX handlers of a parse without libxml2's tree: each passes its event
// on to the builder; what a builder raises (only std::bad_alloc) stops the
// parse and is raised again once it is cleaned up.
template <class Body>
void Build(void* context, Body&& body) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  ParseSession* session = SessionOf(context);
  try {
    body(*ctxt, *session, *session->builder);
  } catch (...) {
    if (!session->raised) session->raised = std::current_exception();
    xmlStopParser(ctxt);
  }
}

void OnStartDocument(void* context) {
  Build(context, [](xmlParserCtxt& ctxt, ParseSession&, TreeBuilder& builder) { builder.StartDocument(&ctxt); });
}

void OnInternalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  Build(context, [](xmlParserCtxt& ctxt, ParseSession& session, TreeBuilder& builder) {
    builder.FallBack();
    session.held.clear();
    xmlStopParser(&ctxt);
  });
}

void OnStartElement(void* context, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                    const xmlChar** attributes) {
  Build(context, [&](xmlParserCtxt& ctxt, ParseSession& session, TreeBuilder& builder) {
    const bool first = !builder.Started();
    builder.StartElement(localname, prefix, uri, namespaceCount, namespaces, attributeCount, attributes);
    if (first) ReleaseHeld(&ctxt, session);
  });
}

void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  Build(context, [](xmlParserCtxt&, ParseSession&, TreeBuilder& builder) { builder.EndElement(); });
}

void AddText(void* context, const xmlChar* text, int length, Kind kind) {
  Build(context, [&](xmlParserCtxt& ctxt, ParseSession& session, TreeBuilder& builder) {
    // libxml2's tree builder refuses to grow one text node beyond
    // XML_MAX_TEXT_LENGTH, says so in these words, and reads no further.
    if (builder.Grows(kind) && (ctxt.options & XML_PARSE_HUGE) == 0 &&
        builder.Pending() + static_cast<std::size_t>(length) > XML_MAX_TEXT_LENGTH) {
      ReportHere(&ctxt, session, Level::Error, "xmlSAX2Characters: huge text node");
      ctxt.errNo = XML_ERR_NO_MEMORY;
      ctxt.instate = XML_PARSER_EOF;
      ctxt.disableSAX = 1;
      return;
    }
    builder.Characters(text, length, kind);
  });
}

void OnCharacters(void* context, const xmlChar* text, int length) { AddText(context, text, length, Kind::Text); }

void OnCData(void* context, const xmlChar* text, int length) { AddText(context, text, length, Kind::CData); }

void OnComment(void* context, const xmlChar* text) {
  Build(context, [&](xmlParserCtxt&, ParseSession&, TreeBuilder& builder) { builder.Comment(text); });
}

void OnProcessingInstruction(void* context, const xmlChar* target, const xmlChar* data) {
  Build(context, [&](xmlParserCtxt&, ParseSession&, TreeBuilder& builder) {
    builder.ProcessingInstruction(target, data);
  });
}

void InstallBuilder(xmlSAXHandler* sax) {
  sax->startDocument = OnStartDocument;
  sax->endDocument = nullptr;
  sax->internalSubset = OnInternalSubset;
  sax->startElementNs = OnStartElement;
  sax->endElementNs = OnEndElement;
  sax->startElement = nullptr;
  sax->endElement = nullptr;
  sax->characters = OnCharacters;
  sax->ignorableWhitespace = OnCharacters;
  sax->cdataBlock = OnCData;
  sax->comment = OnComment;
  sax->processingInstruction = OnProcessingInstruction;
  // A reference needs a declaration, which needs a document type, which
  // ends this road.
  sax->reference = nullptr;
}

// The path of a "file:" identifier, its scheme and any "//localhost" host
// dropped; any other identifier as it is.
const char* WithoutFileScheme(const char* identifier) {
  if (strncasecmp(identifier, "file://localhost/", 17) == 0) return identifier + 16;
  if (strncasecmp(identifier, "file:///", 8) == 0) return identifier + 7;
  if (strncasecmp(identifier, "file:/", 6) == 0) return identifier + 5;
  return identifier;
}

// Whether a local identifier names nothing but regular files (or nothing that
// exists yet), as libxml2's file loader would open it: "-" is its standard
// input, "file:" prefixes are dropped, and the %-unescaped path is tried
// before the path as written. A FIFO, a terminal or a device named by a
// hostile DOCTYPE would block the parse, or feed it without end.
bool NamesRegularFilesOnly(const char* identifier) {
  if (identifier == nullptr) return true;
  if (std::strcmp(identifier, "-") == 0) return false;
  const char* path = WithoutFileScheme(identifier);
  auto regularOrAbsent = [](const char* candidate) {
    struct stat info {};
    return candidate == nullptr || ::stat(candidate, &info) != 0 || S_ISREG(info.st_mode);
  };
  char* unescaped = xmlURIUnescapeString(path, 0, nullptr);
  const bool fine = regularOrAbsent(unescaped) && regularOrAbsent(path);
  xmlFree(unescaped);
  return fine;
}

// Reports that an external entity cannot be supplied. The load fails rather
// than lose what the entity holds, and the abnormal end is logged. The
// external DTD subset is refused as an error (validation then fails); an
// entity of the document stops the parse.
void Refuse(xmlParserCtxtPtr ctxt, ParseSession& session, const std::string& what, const std::string& reason,
            bool stop) {
  const std::string message = what + " cannot be read: " + reason;
  session.refused = true;
  KelSysLogAbend(("***ERROR*** " + message).c_str());
  ReportHere(ctxt, session, stop ? Level::Fatal : Level::Error, message);
  if (stop) {
    ctxt->wellFormed = 0;
    xmlStopParser(ctxt);
  }
}

// The local path that a "file:" URI or a path names, as libxml2's file loader
// opens it: "file:" prefixes dropped, the %-unescaped form when that names a
// file, else the path as written.
std::string LocalPath(const char* identifier) {
  const char* path = WithoutFileScheme(identifier);
  std::string chosen = path;
  if (char* unescaped = xmlURIUnescapeString(path, 0, nullptr)) {
    struct stat info {};
    if (::stat(unescaped, &info) == 0) chosen = unescaped;
    xmlFree(unescaped);
  }
  return chosen;
}

// Makes the directory of `path` one in which declined entities may be read.
void AddRoot(ParseSession& session, const std::string& path) {
  std::string directory = Resolved(path);
  const std::size_t slash = directory.rfind('/');
  if (slash == std::string::npos) return;
  directory.resize(slash == 0 ? 1 : slash);
  if (std::find(session.roots.begin(), session.roots.end(), directory) == session.roots.end()) {
    session.roots.push_back(std::move(directory));
  }
}

bool WithinRoots(const std::string& resolved, const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (root == "/" || (resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 &&
                        resolved[root.size()] == '/')) {
      return true;
    }
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The text of an external parsed entity as UTF-8, without its text
// declaration. `bytes` are a file's, in the encoding that a byte-order mark
// or the declaration names, or, with `characters`, text already decoded.
bool EntityText(std::string bytes, bool characters, std::string& text, std::string& problem) {
  const auto starts = [&bytes](const char* prefix, std::size_t length) {
    return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
  };
  if (!characters && starts("\xEF\xBB\xBF", 3)) {
    bytes.erase(0, 3);
  } else if (!characters && (starts("\xFE\xFF", 2) || starts("\xFF\xFE", 2))) {
    const bool big = bytes[0] == '\xFE';
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto high = static_cast<unsigned char>(bytes[big ? i : i + 1]);
      const auto low = static_cast<unsigned char>(bytes[big ? i + 1 : i]);
      units.push_back(static_cast<char16_t>(high << 8 | low));
    }
    bytes.clear();
    KelUtf::AppendUtf8(units, bytes);
    characters = true;
  }
  std::string encoding;
  // The text declaration is ASCII whatever the encoding.
  if (starts("<?xml", 5) && bytes.size() > 5 && IsBlank(bytes[5])) {
    const std::size_t end = bytes.find("?>");
    if (end == std::string::npos) {
      problem = "its text declaration is not closed";
      return false;
    }
    const std::size_t at = bytes.find("encoding", 5);
    if (at != std::string::npos && at < end) {
      std::size_t quote = bytes.find_first_of("\"'", at);
      const std::size_t close = quote < end ? bytes.find(bytes[quote], quote + 1) : std::string::npos;
      if (close == std::string::npos || close > end) {
        problem = "its text declaration is malformed";
        return false;
      }
      encoding = bytes.substr(quote + 1, close - quote - 1);
    }
    bytes.erase(0, end + 2);
  }
  const auto is = [&encoding](const char* name) { return strcasecmp(encoding.c_str(), name) == 0; };
  if (characters || encoding.empty() || is("UTF-8") || is("UTF8") || is("US-ASCII") || is("ASCII")) {
    text = std::move(bytes);
    return true;
  }
  if (is("ISO-8859-1") || is("ISO_8859-1") || is("ISO-LATIN-1") || is("LATIN1")) {
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        text.push_back(c);
      } else {
        text.push_back(static_cast<char>(0xC0 | byte >> 6));
        text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
      }
    }
    return true;
  }
  problem = "its encoding \"" + encoding + "\" is not supported (UTF-8, UTF-16, US-ASCII and ISO-8859-1 are)";
  return false;
}

// Asks the caller's resolver for an external entity: true when it answered
// with `answer`; false when it declined, there is none, or it raised (which
// stops the parse).
bool AskResolver(xmlParserCtxtPtr ctxt, ParseSession& session, const xmlChar* publicId, const xmlChar* systemId,
                 KelIXMLInputSource_var& answer) {
  if (session.resolver == nullptr) return false;
  long code = E_FAIL;
  const KelUnicodeString publicText(reinterpret_cast<const char*>(publicId));
  const KelUnicodeString systemText(reinterpret_cast<const char*>(systemId));
  CallOut(ctxt, session, [&] { code = session.resolver->resolveEntity(publicText, systemText, answer); });
  if (session.callback_failed || session.raised) return false;
  return code >= 0 && answer != nullptr;
}

// The text of an external parsed entity (general or parameter): as the
// resolver answers, or, when it declines, from the local regular file its URI
// names (relative to where it was declared) inside one of the roots. Never
// the network. False, with the parse stopped, when nothing supplies it.
bool ReadExternalEntity(xmlParserCtxtPtr ctxt, ParseSession& session, xmlEntityPtr entity, std::string& text) {
  const char* systemId = entity->SystemID != nullptr ? reinterpret_cast<const char*>(entity->SystemID) : "";
  const std::string what =
      std::string(entity->etype == XML_EXTERNAL_PARAMETER_ENTITY ? "external parameter entity \"%" : "external entity \"") +
      reinterpret_cast<const char*>(entity->name) + "\" (SYSTEM \"" + systemId + "\")";
  std::string problem, bytes;
  KelIXMLInputSource_var answer;
  if (AskResolver(ctxt, session, entity->ExternalID, entity->SystemID, answer)) {
    const auto* source = dynamic_cast<const KelXmlInputSource*>(answer.get());
    if (source == nullptr) {
      problem = "the entity resolver answered with an unknown input source";
    } else if (source->InMemory()) {
      if (EntityText(std::string(source->Text()), true, text, problem)) return true;
    } else if (IsNetworkLocation(source->SystemId().c_str())) {
      problem = "network access refused for \"" + source->SystemId() + "\"";
    } else {
      const std::string path = LocalPath(source->SystemId().c_str());
      if (ReadRegularFile(path, bytes, problem) && EntityText(std::move(bytes), false, text, problem)) {
        AddRoot(session, path);
        return true;
      }
    }
  } else if (session.callback_failed || session.raised) {
    return false;
  } else {
    const char* uri = entity->URI != nullptr ? reinterpret_cast<const char*>(entity->URI) : systemId;
    const std::string path = LocalPath(uri);
    const std::string resolved = Resolved(path);
    if (IsNetworkLocation(uri)) {
      problem = std::string("network access refused for \"") + uri + "\"";
    } else if (session.roots.empty()) {
      problem = "the entity resolver did not supply it, and a document read from memory has no directory to read it from";
    } else if (resolved.empty()) {
      problem = "there is no file \"" + path + "\"";
    } else if (!WithinRoots(resolved, session.roots)) {
      problem = "\"" + path + "\" is outside the document's directory and those of the files the entity resolver supplied";
    } else if (ReadRegularFile(resolved, bytes, problem) && EntityText(std::move(bytes), false, text, problem)) {
      return true;
    }
  }
  Refuse(ctxt, session, what, problem, true);
  return false;
}

// Loads the external DTD subset named by `uri`, refusing anything but a
// regular file.
xmlParserInputPtr LoadLocal(xmlParserCtxtPtr ctxt, ParseSession& session, const char* uri, const char* publicId,
                            const std::string& what) {
  if (!NamesRegularFilesOnly(uri)) {
    Refuse(ctxt, session, what, std::string("\"") + uri + "\" is not a regular file", false);
    return nullptr;
  }
  xmlParserInputPtr input = xmlLoadExternalEntity(uri, publicId, ctxt);
  if (input == nullptr) Refuse(ctxt, session, what, std::string("\"") + uri + "\" cannot be opened", false);
  return input;
}

xmlParserInputPtr OpenSource(xmlParserCtxtPtr ctxt, ParseSession& session, const KelXmlInputSource& source,
                             const std::string& what) {
  if (source.InMemory()) {
    const std::string_view text = source.Text();
    if (text.size() > kMaxTextBytes) return nullptr;
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
    Refuse(ctxt, session, what, "network access refused for \"" + source.SystemId() + "\"", false);
    return nullptr;
  }
  AddRoot(session, LocalPath(source.SystemId().c_str()));
  return LoadLocal(ctxt, session, source.SystemId().c_str(),
                   source.PublicId().empty() ? nullptr : source.PublicId().c_str(), what);
}

// Asked by libxml2 for the external DTD subset of a validating parse: the
// resolver first; when it declines, the file beside the document (a document
// read from memory has no location, so nothing is read).
xmlParserInputPtr OnResolveEntity(void* context, const xmlChar* publicId, const xmlChar* systemId) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  ParseSession* session = SessionOf(context);
  if (session == nullptr) return nullptr;
  try {
    const char* written = systemId != nullptr ? reinterpret_cast<const char*>(systemId) : "";
    const std::string what = std::string("external DTD subset \"") + written + "\"";
    KelIXMLInputSource_var answer;
    if (AskResolver(ctxt, *session, publicId, systemId, answer)) {
      const auto* source = dynamic_cast<const KelXmlInputSource*>(answer.get());
      if (source == nullptr) {
        Refuse(ctxt, *session, what, "the entity resolver answered with an unknown input source", false);
        return nullptr;
      }
      return OpenSource(ctxt, *session, *source, what);
    }
    if (session->callback_failed || session->raised) return nullptr;
    if (IsNetworkLocation(written)) {
      Refuse(ctxt, *session, what, std::string("network access refused for \"") + written + "\"", false);
      return nullptr;
    }
    if (session->in_memory) {
      Refuse(ctxt, *session, what,
             "the entity resolver did not supply it, and a document read from memory has no location to find it from",
             false);
      return nullptr;
    }
    // As xmlSAX2ResolveEntity does: relative to the document being read.
    const char* base = ctxt->input != nullptr ? ctxt->input->filename : nullptr;
    if (base == nullptr) base = ctxt->directory;
    xmlChar* uri = xmlBuildURI(systemId, reinterpret_cast<const xmlChar*>(base));
    if (uri == nullptr) return nullptr;
    xmlParserInputPtr input = nullptr;
    try {
      input = LoadLocal(ctxt, *session, reinterpret_cast<const char*>(uri), reinterpret_cast<const char*>(publicId),
                        what);
    } catch (...) {
      xmlFree(uri);
      throw;
    }
    xmlFree(uri);
    return input;
  } catch (...) {
    if (!session->raised) session->raised = std::current_exception();
    xmlStopParser(ctxt);
    return nullptr;
  }
}

// Looks entities up as libxml2 does, except for external parsed entities,
// which libxml2 would read through its process-wide loader. One met in
// content is read here (ReadExternalEntity) and made internal, with that
// text, for the rest of the parse; in an attribute value, where XML forbids
// it, it is refused.
xmlEntityPtr OnGetEntity(void* context, const xmlChar* name) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  ParseSession* session = SessionOf(context);
  if (session == nullptr || ctxt->myDoc == nullptr) return xmlSAX2GetEntity(context, name);
  try {
    xmlEntityPtr entity = ctxt->inSubset == 0 ? xmlGetPredefinedEntity(name) : nullptr;
    if (entity == nullptr) entity = xmlGetDocEntity(ctxt->myDoc, name);
    const bool read = entity != nullptr && session->read_entities.count(entity) != 0;
    const bool external = entity != nullptr && entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY;
    if (!read && !external) return xmlSAX2GetEntity(context, name);
    if (ctxt->instate == XML_PARSER_ATTRIBUTE_VALUE) {
      // libxml2 refuses one still external itself.
      if (read) {
        ReportHere(ctxt, *session, Level::Fatal,
                   std::string("Attribute references external entity '") + reinterpret_cast<const char*>(name) + "'");
        ctxt->wellFormed = 0;
        xmlStopParser(ctxt);
      }
      return entity;
    }
    if (read) return entity;
    std::string text;
    if (!ReadExternalEntity(ctxt, *session, entity, text)) return nullptr;
    xmlChar* content = xmlStrndup(BAD_CAST text.data(), static_cast<int>(text.size()));
    if (content == nullptr) throw std::bad_alloc();
    entity->content = content;
    entity->length = static_cast<int>(text.size());
    entity->etype = XML_INTERNAL_GENERAL_ENTITY;
    session->read_entities.insert(entity);
    ctxt->sizeentities += text.size();
    return entity;
  } catch (...) {
    if (!session->raised) session->raised = std::current_exception();
    ctxt->wellFormed = 0;
    xmlStopParser(ctxt);
    return nullptr;
  }
}

// Gives an external parameter entity its text (ReadExternalEntity) before
// libxml2 reads it, so that libxml2 reads that text and not the file.
xmlEntityPtr OnGetParameterEntity(void* context, const xmlChar* name) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  ParseSession* session = SessionOf(context);
  xmlEntityPtr entity = xmlSAX2GetParameterEntity(context, name);
  if (entity == nullptr || session == nullptr || entity->etype != XML_EXTERNAL_PARAMETER_ENTITY ||
      entity->content != nullptr) {
    return entity;
  }
  try {
    std::string text;
    if (!ReadExternalEntity(ctxt, *session, entity, text)) return nullptr;
    xmlChar* content = xmlStrndup(BAD_CAST text.data(), static_cast<int>(text.size()));
    if (content == nullptr) throw std::bad_alloc();
    entity->content = content;
    entity->length = static_cast<int>(text.size());
    ctxt->sizeentities += text.size();
    return entity;
  } catch (...) {
    if (!session->raised) session->raised = std::current_exception();
    ctxt->wellFormed = 0;
    xmlStopParser(ctxt);
    return nullptr;
  }
}

// Declared attribute defaults are supplied by every parse (XML_PARSE_DTDATTR),
// which would also make libxml2 read the external DTD subset; only a
// validating parse reads it.
void OnExternalSubset(void* context, const xmlChar* name, const xmlChar* publicId, const xmlChar* systemId) {
  ParseSession* session = SessionOf(context);
  if (session != nullptr && session->validate) xmlSAX2ExternalSubset(context, name, publicId, systemId);
}

// How many bytes the entity references of a document stand for once expanded:
// every reference counts its entity's whole content, nested references
// included, each time it occurs. libxml2 measures this only while it expands;
// with references kept, a small document could otherwise hand its readers and
// writers gigabytes (a "quadratic blowup": one large entity referenced many
// times). Each entity is weighed once; the walks are iterative.
class ExpansionMeter {
 public:
  explicit ExpansionMeter(xmlDocPtr document) : document_(document) {}

  // The expanded bytes of the references in the document's own content.
  std::size_t Measure() { return WeighList(document_->children, reinterpret_cast<xmlNodePtr>(document_), false, 0); }

 private:
  static constexpr std::size_t kCap = SIZE_MAX / 4;  // saturates far above any limit
  static constexpr int kMaxNesting = 64;             // libxml2 stops entity nesting well before

  static std::size_t Add(std::size_t a, std::size_t b) { return a > kCap - std::min(b, kCap) ? kCap : a + b; }

  std::size_t WeighReference(xmlNodePtr reference, int depth) {
    xmlEntityPtr entity = reference->children != nullptr && reference->children->type == XML_ENTITY_DECL
                              ? reinterpret_cast<xmlEntityPtr>(reference->children)
                              : xmlGetDocEntity(document_, reference->name);
    if (entity == nullptr) return static_cast<std::size_t>(xmlStrlen(reference->name)) + 2;
    const auto known = weights_.find(entity);
    if (known != weights_.end()) return known->second;
    if (depth > kMaxNesting) return kCap;
    const std::size_t weight = entity->children != nullptr
                                   ? WeighList(entity->children, reinterpret_cast<xmlNodePtr>(entity), true, depth + 1)
                                   : static_cast<std::size_t>(std::max(entity->length, 0));
    weights_.emplace(entity, weight);
    return weight;
  }

  std::size_t WeighParts(xmlNodePtr part, int depth) {
    std::size_t total = 0;
    for (; part != nullptr; part = part->next) {
      total = Add(total, part->type == XML_ENTITY_REF_NODE ? WeighReference(part, depth)
                                                           : static_cast<std::size_t>(xmlStrlen(part->content)));
    }
    return total;
  }

  // The nodes from `first` on and their descendants (not entering
  // references), up to the end of `parent`'s children. `own` also counts the
  // nodes' own text and markup; without it only references count.
  std::size_t WeighList(xmlNodePtr first, xmlNodePtr parent, bool own, int depth) {
    std::size_t total = 0;
    for (xmlNodePtr node = first; node != nullptr;) {
      if (node->type == XML_ENTITY_REF_NODE) {
        total = Add(total, WeighReference(node, depth));
      } else if (node->type == XML_ELEMENT_NODE) {
        if (own) total = Add(total, 2 * static_cast<std::size_t>(xmlStrlen(node->name)) + 5);
        for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
          if (own) total = Add(total, static_cast<std::size_t>(xmlStrlen(attribute->name)) + 4);
          bool references = false;
          for (xmlNodePtr part = attribute->children; part != nullptr; part = part->next) {
            references = references || part->type == XML_ENTITY_REF_NODE;
          }
          if (own || references) total = Add(total, WeighParts(attribute->children, depth));
        }
        if (node->children != nullptr) {
          node = node->children;
          continue;
        }
      } else if (own && node->type != XML_DTD_NODE) {
        total = Add(total, static_cast<std::size_t>(xmlStrlen(node->content)));
      }
      while (node != nullptr && node->next == nullptr) {
        node = node->parent;
        if (node == parent) node = nullptr;
      }
      if (node != nullptr) node = node->next;
    }
    return total;
  }

  xmlDocPtr document_;
  std::unordered_map<xmlEntityPtr, std::size_t> weights_;
};

bool DeclaresEntities(xmlDocPtr document) {
  for (xmlDtdPtr dtd : {document->intSubset, document->extSubset}) {
    if (dtd != nullptr && dtd->entities != nullptr && xmlHashSize(static_cast<xmlHashTablePtr>(dtd->entities)) > 0)
      return true;
  }
  return false;
}

// The bytes the parse read: the document and the external entities (DTD).
std::size_t BytesRead(xmlParserCtxtPtr ctxt, const std::string_view* text) {
  std::size_t read = text != nullptr ? text->size() : 0;
  if (ctxt->input != nullptr && ctxt->input->base != nullptr && ctxt->input->cur != nullptr) {
    read = std::max(read, static_cast<std::size_t>(ctxt->input->consumed) +
                              static_cast<std::size_t>(ctxt->input->cur - ctxt->input->base));
  }
  return read + static_cast<std::size_t>(ctxt->sizeentities);
}

struct TextReader {
  const std::string_view* text;
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

}  // namespace

namespace {

// One run of libxml2's parser over the document: into libxml2's tree, or,
// with `builder`, into the stand-in's through the builder's handlers.
class Run {
 public:
  Run(ParseSession& session, const std::string& systemId, const std::string_view* text, const Options& options,
      TreeBuilder* builder)
      : session_(session), system_id_(systemId), text_(text), options_(options) {
    ctxt_ = xmlNewParserCtxt();
    if (ctxt_ == nullptr) throw std::bad_alloc();
    ctxt_->_private = &session_;
    ctxt_->sax->serror = OnError;
    ctxt_->sax->getEntity = OnGetEntity;
    ctxt_->sax->getParameterEntity = OnGetParameterEntity;
    ctxt_->sax->resolveEntity = OnResolveEntity;
    ctxt_->sax->externalSubset = OnExternalSubset;
    session_.builder = builder;
    session_.holding = builder != nullptr;
    if (builder != nullptr) InstallBuilder(ctxt_->sax);
  }
  ~Run() {
    if (doc_ != nullptr) xmlFreeDoc(doc_);
    xmlFreeParserCtxt(ctxt_);
    session_.builder = nullptr;
    session_.holding = false;
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // False when the document was refused, with what was said in the session.
  bool Parse() {
    // A processor that does not validate still supplies the attribute
    // defaults of the declarations it reads (XML 1.0, 5.1).
    int flags = XML_PARSE_NONET | XML_PARSE_DTDATTR;
    if (options_.validate) flags |= XML_PARSE_DTDVALID;
    if (options_.expand) flags |= XML_PARSE_NOENT;
    const char* name = system_id_.empty() ? nullptr : system_id_.c_str();
    if (text_ != nullptr) {
      // libxml2 takes a zero byte for the end of its input and would drop
      // what follows; XML has no U+0000, so the text is not well-formed.
      if (const void* zero = std::memchr(text_->data(), 0, text_->size())) {
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(zero) - text_->data());
        const std::size_t lineStart = text_->rfind('\n', at == 0 ? 0 : at - 1);
        const int line =
            1 + static_cast<int>(std::count(text_->begin(), text_->begin() + static_cast<std::ptrdiff_t>(at), '\n'));
        const int column = static_cast<int>(lineStart == std::string::npos || at == 0 ? at + 1 : at - lineStart);
        session_.holding = false;  // said at once, whichever road
        Report(ctxt_, session_, Level::Fatal, "U+0000 is not an XML character", name, line, column);
        return false;
      }
      if (text_->size() <= static_cast<std::size_t>(INT_MAX)) {
        // All of it at once: libxml2 2.9 misreads a long non-ASCII name that
        // crosses the boundary of two reads of its input.
        doc_ = xmlCtxtReadMemory(ctxt_, text_->data(), static_cast<int>(text_->size()), name, nullptr, flags);
      } else {
        TextReader reader{text_, 0};
        doc_ = xmlCtxtReadIO(ctxt_, ReadText, nullptr, &reader, name, nullptr, flags);
      }
    } else {
      doc_ = xmlCtxtReadFile(ctxt_, system_id_.c_str(), nullptr, flags);
    }
    if (session_.builder != nullptr) {
      if (session_.builder->FellBack()) return false;
      // A document without an element: what it reported is said now.
      ReleaseHeld(ctxt_, session_);
    }
    // The entities read were made internal for libxml2 only; they stay what
    // they were declared. A document that failed is freed already.
    if (doc_ != nullptr) {
      for (xmlEntityPtr entity : session_.read_entities) entity->etype = XML_EXTERNAL_GENERAL_PARSED_ENTITY;
    }
    const bool made = session_.builder != nullptr || doc_ != nullptr;
    bool failed = !made || ctxt_->wellFormed == 0 || (options_.validate && ctxt_->valid == 0) ||
                  session_.callback_failed || session_.raised || session_.refused;
    // References kept: refused when expanding them would be refused, by the
    // rule libxml2 applies while it expands (over 10 MB and over 10 times
    // what was read).
    if (!failed && !options_.expand && doc_ != nullptr && DeclaresEntities(doc_)) {
      const std::size_t expanded = ExpansionMeter(doc_).Measure();
      const std::size_t read = BytesRead(ctxt_, text_);
      if (expanded > kMaxExpansionBytes && expanded / kMaxExpansionRatio >= read) {
        ReportHere(ctxt_, session_, Level::Fatal,
                   "entity references would expand to " + std::to_string(expanded) + " bytes from a document of " +
                       std::to_string(read) + " bytes");
        failed = true;
      }
    }
    return !failed;
  }

  // libxml2's document, which the caller takes.
  xmlDocPtr TakeDocument() {
    xmlDocPtr doc = doc_;
    doc_ = nullptr;
    return doc;
  }

 private:
  ParseSession& session_;
  const std::string& system_id_;
  const std::string_view* text_;
  const Options& options_;
  xmlParserCtxtPtr ctxt_ = nullptr;
  xmlDocPtr doc_ = nullptr;
};

void Fail(ParseSession& session, ParseFailure& failure) {
  if (session.raised) std::rethrow_exception(session.raised);
  if (session.have_error) {
    failure.message = session.message;
    failure.line = session.line;
    failure.column = session.column;
  } else if (session.callback_failed) {
    failure.message = "the entity resolver or error handler raised an error";
  } else {
    failure.message = "the document could not be parsed";
  }
}

}  // namespace

std::unique_ptr<Tree> ParseDocument(const std::string& systemId, const std::string_view* text, const Options& options,
                                    KelISAXEntityResolver* resolver, KelISAXErrorHandler* handler,
                                    ParseFailure& failure) {
  ParseSession session;
  session.resolver = resolver;
  session.handler = handler;
  session.validate = options.validate;
  session.in_memory = text != nullptr;
  if (text == nullptr) AddRoot(session, LocalPath(systemId.c_str()));
  // A document that is not validated is built straight into the stand-in's
  // tree, unless it has a document type: by the quick reader when it is
  // plain enough, else from libxml2's parser.
  if (!options.validate && !options.libxml2_only && text != nullptr) {
    TreeBuilder quick(!options.expand);
    if (QuickParse(*text, quick)) return quick.Take();
  }
  if (!options.validate) {
    TreeBuilder builder(!options.expand);
    bool parsed = false;
    {
      Run run(session, systemId, text, options, &builder);
      parsed = run.Parse();
    }
    if (!builder.FellBack()) {
      if (!parsed) {
        Fail(session, failure);
        return nullptr;
      }
      return builder.Take();
    }
  }
  bool parsed = false;
  xmlDocPtr doc = nullptr;
  {
    Run run(session, systemId, text, options, nullptr);
    parsed = run.Parse();
    if (parsed) doc = run.TakeDocument();
  }
  if (!parsed) {
    Fail(session, failure);
    return nullptr;
  }
  return ReadTree(doc);
}

}  // namespace kelxml
