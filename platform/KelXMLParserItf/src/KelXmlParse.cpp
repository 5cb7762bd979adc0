#include "KelXmlParse.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "KelGuard.h"
#include "KelXmlInputSource.h"
#include "KelXmlText.h"

namespace kelxml {

namespace {

// What one parse shares with its SAX hooks (through the context's _private).
struct ParseSession {
  KelISAXEntityResolver* resolver = nullptr;
  KelISAXErrorHandler* handler = nullptr;
  bool validate = false;    // the external DTD subset is read only then
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

void Report(xmlParserCtxtPtr ctxt, ParseSession& session, Level level, const std::string& message, const char* file,
            int line, int column) {
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
    Report(static_cast<xmlParserCtxtPtr>(context), *session, level, TrimMessage(error->message), error->file,
           error->line, error->int2);
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

// Whether a local identifier names nothing but regular files (or nothing that
// exists yet), as libxml2's file loader would open it: "-" is its standard
// input, "file:" prefixes are dropped, and the %-unescaped path is tried
// before the path as written. A FIFO, a terminal or a device named by a
// hostile DOCTYPE would block the parse, or feed it without end.
bool NamesRegularFilesOnly(const char* identifier) {
  if (identifier == nullptr) return true;
  if (std::strcmp(identifier, "-") == 0) return false;
  const char* path = identifier;
  if (strncasecmp(identifier, "file://localhost/", 17) == 0) {
    path = identifier + 16;
  } else if (strncasecmp(identifier, "file:///", 8) == 0) {
    path = identifier + 7;
  } else if (strncasecmp(identifier, "file:/", 6) == 0) {
    path = identifier + 5;
  }
  auto regularOrAbsent = [](const char* candidate) {
    struct stat info {};
    return candidate == nullptr || ::stat(candidate, &info) != 0 || S_ISREG(info.st_mode);
  };
  char* unescaped = xmlURIUnescapeString(path, 0, nullptr);
  const bool fine = regularOrAbsent(unescaped) && regularOrAbsent(path);
  xmlFree(unescaped);
  return fine;
}

// Loads a local external entity (the DTD) named by `uri`, refusing anything
// but a regular file.
xmlParserInputPtr LoadLocal(xmlParserCtxtPtr ctxt, ParseSession& session, const char* uri, const char* publicId) {
  if (!NamesRegularFilesOnly(uri)) {
    ReportHere(ctxt, session, Level::Error, std::string("\"") + uri + "\" is not a regular file");
    return nullptr;
  }
  return xmlLoadExternalEntity(uri, publicId, ctxt);
}

xmlParserInputPtr OpenSource(xmlParserCtxtPtr ctxt, ParseSession& session, const KelXmlInputSource& source) {
  if (source.InMemory()) {
    const std::string& text = source.Text();
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
    ReportHere(ctxt, session, Level::Error, "network access refused for \"" + source.SystemId() + "\"");
    return nullptr;
  }
  return LoadLocal(ctxt, session, source.SystemId().c_str(),
                   source.PublicId().empty() ? nullptr : source.PublicId().c_str());
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
    // As xmlSAX2ResolveEntity does: relative to the document being read.
    const char* base = ctxt->input != nullptr ? ctxt->input->filename : nullptr;
    if (base == nullptr) base = ctxt->directory;
    xmlChar* uri = xmlBuildURI(systemId, reinterpret_cast<const xmlChar*>(base));
    if (uri == nullptr) return nullptr;
    xmlParserInputPtr input = nullptr;
    try {
      input = LoadLocal(ctxt, *session, reinterpret_cast<const char*>(uri), reinterpret_cast<const char*>(publicId));
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
std::size_t BytesRead(xmlParserCtxtPtr ctxt, const std::string* text) {
  std::size_t read = text != nullptr ? text->size() : 0;
  if (ctxt->input != nullptr && ctxt->input->base != nullptr && ctxt->input->cur != nullptr) {
    read = std::max(read, static_cast<std::size_t>(ctxt->input->consumed) +
                              static_cast<std::size_t>(ctxt->input->cur - ctxt->input->base));
  }
  return read + static_cast<std::size_t>(ctxt->sizeentities);
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

}  // namespace

xmlDocPtr ParseDocument(const std::string& systemId, const std::string* text, const Options& options,
                        KelISAXEntityResolver* resolver, KelISAXErrorHandler* handler, ParseFailure& failure) {
  ParseSession session;
  session.resolver = resolver;
  session.handler = handler;
  session.validate = options.validate;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) throw std::bad_alloc();
  ctxt->_private = &session;
  ctxt->sax->serror = OnError;
  ctxt->sax->entityDecl = OnEntityDecl;
  ctxt->sax->resolveEntity = OnResolveEntity;
  ctxt->sax->externalSubset = OnExternalSubset;

  // A processor that does not validate still supplies the attribute defaults
  // of the declarations it reads (XML 1.0, 5.1).
  int flags = XML_PARSE_NONET | XML_PARSE_DTDATTR;
  if (options.validate) flags |= XML_PARSE_DTDVALID;
  if (options.expand) flags |= XML_PARSE_NOENT;
  const char* name = systemId.empty() ? nullptr : systemId.c_str();
  xmlDocPtr doc = nullptr;
  if (text != nullptr) {
    // libxml2 takes a zero byte for the end of its input and would drop what
    // follows; XML has no U+0000, so the text is not well-formed.
    if (const void* zero = std::memchr(text->data(), 0, text->size())) {
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(zero) - text->data());
      const std::size_t lineStart = text->rfind('\n', at == 0 ? 0 : at - 1);
      const int line = 1 + static_cast<int>(std::count(text->begin(), text->begin() + static_cast<std::ptrdiff_t>(at), '\n'));
      const int column = static_cast<int>(lineStart == std::string::npos || at == 0 ? at + 1 : at - lineStart);
      Report(ctxt, session, Level::Fatal, "U+0000 is not an XML character", name, line, column);
      xmlFreeParserCtxt(ctxt);
      if (session.raised) std::rethrow_exception(session.raised);
      failure.message = session.message;
      failure.line = session.line;
      failure.column = session.column;
      return nullptr;
    }
    TextReader reader{text, 0};
    doc = xmlCtxtReadIO(ctxt, ReadText, nullptr, &reader, name, nullptr, flags);
  } else {
    doc = xmlCtxtReadFile(ctxt, systemId.c_str(), nullptr, flags);
  }
  bool failed = doc == nullptr || ctxt->wellFormed == 0 || (options.validate && ctxt->valid == 0) ||
                session.callback_failed || session.raised;
  // References kept: refused when expanding them would be refused, by the
  // rule libxml2 applies while it expands (over 10 MB and over 10 times what
  // was read).
  if (!failed && !options.expand && DeclaresEntities(doc)) {
    const std::size_t expanded = ExpansionMeter(doc).Measure();
    const std::size_t read = BytesRead(ctxt, text);
    if (expanded > kMaxExpansionBytes && expanded / kMaxExpansionRatio >= read) {
      ReportHere(ctxt, session, Level::Fatal,
                 "entity references would expand to " + std::to_string(expanded) + " bytes from a document of " +
                     std::to_string(read) + " bytes");
      failed = true;
    }
  }
  xmlFreeParserCtxt(ctxt);
  if (!failed) return doc;
  if (doc != nullptr) xmlFreeDoc(doc);
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
  return nullptr;
}

}  // namespace kelxml
