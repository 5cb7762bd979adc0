// KelEdsHttpService: the job server's HTTP face without the HTTP transport.
// It takes a request already read off the wire (method, path, the headers it
// looks at, the body) and gives the status, headers and body to send back:
// POST /jobs answers a job document through KelEdsServer, GET /health tells
// whether the database accepts connections. Every refusal is a status and a
// one-line reason, and leaves the database unchanged. The daemon (edsd) puts
// it behind cpp-httplib; tests and the fuzz target call Handle directly.
//
// The database may be down when the service starts or at any time later:
// the service then answers 503 and opens the database again (a new
// KelEdsServer, at most once per reopenSeconds) once it is back. The
// protocol and the statuses are in docs/SERVER.md.
//
// Ownership: the service owns its KelEdsServer; requests and replies are
// values of the caller.
//
// Threads: Handle may be called from several threads at once; each
// document holds one connection of the server's pool while it is answered.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KelEdsServer.h"

struct KelEdsHttpServiceOptions {
  std::string conninfo;             // libpq connection string of the database
  KelEdsServerOptions server;       // pool size, limits, all or nothing
  size_t maxBody = 16u << 20;       // bytes; a larger body is refused (413)
  std::string token;                // bearer token; empty: no authentication
  int reopenSeconds = 1;            // least time between two attempts to open the database
};

struct KelEdsHttpRequest {
  std::string_view method;
  std::string_view path;           // without the query
  std::string_view contentType;    // the Content-Type header, empty when absent
  std::string_view authorization;  // the Authorization header, empty when absent
  std::string_view body;
};

struct KelEdsHttpReply {
  int status = 500;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;  // the answered document, or one line of reason ending in "\n"
  std::vector<std::pair<std::string, std::string>> headers;  // Retry-After, WWW-Authenticate, Allow
  int jobs = 0;      // jobs of the document (for the log), 0 when it was not read
};

class KelEdsHttpService {
 public:
  explicit KelEdsHttpService(KelEdsHttpServiceOptions options);
  ~KelEdsHttpService();
  KelEdsHttpService(const KelEdsHttpService&) = delete;
  KelEdsHttpService& operator=(const KelEdsHttpService&) = delete;

  // Tries to open the database now. False (reason in `error`) is not fatal:
  // requests get 503 until a later attempt succeeds.
  bool Start(std::string& error);

  KelEdsHttpReply Handle(const KelEdsHttpRequest& request);

  // Compares a secret in a time that depends only on the expected one's
  // length, so that a client cannot find a token byte by byte.
  static bool SameSecret(std::string_view given, std::string_view expected);

 private:
  std::shared_ptr<KelEdsServer> Server(std::string& error);
  KelEdsHttpReply Jobs(const KelEdsHttpRequest& request);

  KelEdsHttpServiceOptions options_;
  std::mutex mutex_;  // guards server_, nextAttempt_, lastError_
  std::mutex opening_;  // held by the one thread that opens the database
  std::shared_ptr<KelEdsServer> server_;
  std::chrono::steady_clock::time_point nextAttempt_;
  std::string lastError_;
};
