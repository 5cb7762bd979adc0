#include "KelXmlParse.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>
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

}  // namespace

xmlDocPtr ParseDocument(const std::string& systemId, const std::string* text, const Options& options,
                        KelISAXEntityResolver* resolver, KelISAXErrorHandler* handler, ParseFailure& failure) {
  ParseSession session;
  session.resolver = resolver;
  session.handler = handler;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) throw std::bad_alloc();
  ctxt->_private = &session;
  ctxt->sax->serror = OnError;
  ctxt->sax->entityDecl = OnEntityDecl;
  ctxt->sax->resolveEntity = OnResolveEntity;

  int flags = XML_PARSE_NONET;
  if (options.validate) flags |= XML_PARSE_DTDVALID | XML_PARSE_DTDATTR;
  if (options.expand) flags |= XML_PARSE_NOENT;
  const char* name = systemId.empty() ? nullptr : systemId.c_str();
  xmlDocPtr doc = nullptr;
  if (text != nullptr) {
    TextReader reader{text, 0};
    doc = xmlCtxtReadIO(ctxt, ReadText, nullptr, &reader, name, nullptr, flags);
  } else {
    doc = xmlCtxtReadFile(ctxt, systemId.c_str(), nullptr, flags);
  }
  const bool failed = doc == nullptr || ctxt->wellFormed == 0 || (options.validate && ctxt->valid == 0) ||
                      session.callback_failed || session.raised;
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
