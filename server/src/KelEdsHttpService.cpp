#include "KelEdsHttpService.h"

#include <cctype>

#include "KelListValKelUnicodeString.h"

namespace {

KelEdsHttpReply Refuse(int status, const std::string& reason) {
  KelEdsHttpReply reply;
  reply.status = status;
  // One line, whatever libpq's messages hold.
  for (char c : reason) reply.body += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
  while (!reply.body.empty() && reply.body.back() == ' ') reply.body.pop_back();
  reply.body += '\n';
  return reply;
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// application/xml or text/xml, parameters (charset) aside: the document
// says its own encoding.
bool XmlMediaType(std::string_view contentType) {
  const std::string_view type = Trim(contentType.substr(0, contentType.find(';')));
  return SameWord(type, "application/xml") || SameWord(type, "text/xml");
}

}  // namespace

KelEdsHttpService::KelEdsHttpService(KelEdsHttpServiceOptions options) : options_(std::move(options)) {}
KelEdsHttpService::~KelEdsHttpService() = default;

bool KelEdsHttpService::SameSecret(std::string_view given, std::string_view expected) {
  unsigned difference = given.size() == expected.size() ? 0u : 1u;
  for (size_t i = 0; i < expected.size(); ++i) {
    const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= g ^ static_cast<unsigned char>(expected[i]);
  }
  return difference == 0;
}

bool KelEdsHttpService::Start(std::string& error) { return Server(error) != nullptr; }

std::shared_ptr<KelEdsServer> KelEdsHttpService::Server(std::string& error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (server_) return server_;
    error = lastError_;
    if (std::chrono::steady_clock::now() < nextAttempt_) return nullptr;
  }
  // One thread opens; the others answer 503 meanwhile instead of queueing
  // behind a connection attempt.
  std::unique_lock<std::mutex> opening(opening_, std::try_to_lock);
  if (!opening.owns_lock()) return nullptr;
  auto server = std::make_shared<KelEdsServer>();
  const bool opened = server->Open(options_.conninfo, options_.server) >= 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (opened) {
    server_ = server;
    lastError_.clear();
    return server_;
  }
  lastError_ = error = KelEdsServer::LastError();
  nextAttempt_ = std::chrono::steady_clock::now() + std::chrono::seconds(options_.reopenSeconds);
  return nullptr;
}

KelEdsHttpReply KelEdsHttpService::Handle(const KelEdsHttpRequest& request) {
  const bool jobs = request.path == "/jobs", health = request.path == "/health";
  if (!jobs && !health) return Refuse(404, "no such resource: POST /jobs or GET /health");
  if ((jobs && request.method != "POST") || (health && request.method != "GET")) {
    KelEdsHttpReply reply = Refuse(405, jobs ? "/jobs takes POST" : "/health takes GET");
    reply.headers.emplace_back("Allow", jobs ? "POST" : "GET");
    return reply;
  }
  if (health) {
    // The load balancer's probe: no token, no pool connection.
    const bool up = KelEdsServer::Reachable(options_.conninfo);
    return Refuse(up ? 200 : 503, up ? "database reachable" : "database unreachable");
  }
  if (!options_.token.empty()) {
    const std::string_view scheme = "Bearer ";
    const std::string_view given = request.authorization;
    const bool bearer = given.size() > scheme.size() && SameWord(given.substr(0, scheme.size()), scheme);
    if (!bearer || !SameSecret(Trim(given.substr(scheme.size())), options_.token)) {
      KelEdsHttpReply reply = Refuse(401, bearer ? "the bearer token is wrong" : "a bearer token is required");
      reply.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"edsd\"");
      return reply;
    }
  }
  if (request.body.size() > options_.maxBody) {
    return Refuse(413, "the body is over the limit of " + std::to_string(options_.maxBody) + " bytes");
  }
  if (!XmlMediaType(request.contentType)) return Refuse(415, "the body must be application/xml");
  return Jobs(request);
}

KelEdsHttpReply KelEdsHttpService::Jobs(const KelEdsHttpRequest& request) {
  KelEdsXMLParser document;
  const _SEQUENCE_octet bytes(static_cast<unsigned long>(request.body.size()),
                              reinterpret_cast<const unsigned char*>(request.body.data()));
  if (request.body.empty() || document.LoadStream(&bytes, 0, nullptr) < 0) {
    return Refuse(400, "the body is not well-formed XML");
  }
  KelListValKelUnicodeString ids, types, inputs;
  if (document.GetJobDefinition(ids, types, inputs) < 0 || ids.Size() == 0) {
    return Refuse(400, "the body is not a job document: it holds no EDB_Job");
  }
  const int jobCount = ids.Size();
  std::string error;
  std::shared_ptr<KelEdsServer> server = Server(error);
  KelEdsHttpReply reply;
  if (!server) {
    reply = Refuse(503, "the database is unavailable: " + error);
  } else {
    long answered = server->Answer(document);
    // A connection found dead before the document began was reset when it
    // went back to the pool; nothing was sent, so once more is safe.
    if (answered < 0 && KelEdsServer::LastFailure() == KelEdsServerFailure::kUnavailable) {
      answered = server->Answer(document);
    }
    if (answered >= 0) {
      _SEQUENCE_octet* answer = nullptr;
      if (document.GenerateStream(&answer) >= 0 && answer != nullptr) {
        reply.status = 200;
        reply.contentType = "application/xml";
        reply.body.assign(reinterpret_cast<const char*>(answer->_buffer), answer->_length);
      } else {
        reply = Refuse(500, "the answer could not be written");
      }
      delete answer;
    } else {
      const std::string why = KelEdsServer::LastError();
      switch (KelEdsServer::LastFailure()) {
        case KelEdsServerFailure::kRequest:
          reply = Refuse(400, "the document is refused: " + why);
          break;
        case KelEdsServerFailure::kUnavailable:
        case KelEdsServerFailure::kLost:
        case KelEdsServerFailure::kRefused:
          reply = Refuse(503, "the database is unavailable, nothing was committed: " + why);
          break;
        case KelEdsServerFailure::kUncertain:
          reply = Refuse(500, "the connection failed while committing, the document may have been committed: " + why);
          break;
        default:
          reply = Refuse(500, "the document could not be answered: " + why);
      }
    }
  }
  if (reply.status == 503) reply.headers.emplace_back("Retry-After", "1");
  reply.jobs = jobCount;
  return reply;
}
