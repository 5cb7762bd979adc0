// edsd: the job server as an HTTP service. POST /jobs answers a job document
// on the PostgreSQL database (KelEdsHttpService over KelEdsServer), GET
// /health says whether the database is reachable. Options and promises are
// in docs/SERVER.md.
//
// Signals: SIGTERM and SIGINT stop accepting, let the requests in flight
// finish and exit 0; SIGHUP reopens the log file. They are taken by a thread
// of their own (sigwait), so that no handler runs inside the HTTP library.
//
// Exit status: 0 stopped by a signal, 1 could not start, 2 wrong usage.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "EdsdDeadline.h"
#include "EdsdLog.h"
#include "KelEdsHttpService.h"

namespace {

struct Options {
  std::string database;
  std::string listen = "127.0.0.1:8470";
  std::string tokenFile;
  size_t maxBody = 16u << 20;
  int workers = 8;
  int pool = 0;  // 0: as many as workers
  int requestTimeout = 10;
  int keepAlive = 5;
  std::string cert, key;
  std::string log;
  bool allOrNothing = false;
  int maxJobs = KelEdsServerOptions().maxJobs;
  int maxRows = KelEdsServerOptions().maxRows;
};

int Fail(const std::string& why) {
  std::fprintf(stderr, "edsd: %s\n", why.c_str());
  return 1;
}

// "host:port" or "[v6 address]:port".
bool SplitListen(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  try {
    size_t used = 0;
    port = std::stoi(text.substr(colon + 1), &used);
    return used == text.size() - colon - 1 && port > 0 && port < 65536;
  } catch (const std::exception&) {
    return false;
  }
}

bool Loopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.compare(0, 4, "127.") == 0;
}

bool ReadToken(const std::string& path, std::string& token, std::string& error, bool& shared) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the token file " + path;
    return false;
  }
  std::getline(in, token);
  while (!token.empty() && (token.back() == '\r' || token.back() == ' ' || token.back() == '\t')) token.pop_back();
  if (token.empty()) {
    error = "the token file " + path + " holds no token on its first line";
    return false;
  }
  struct stat status {};
  shared = stat(path.c_str(), &status) == 0 && (status.st_mode & 077) != 0;
  return true;
}

// What the log line of a request needs from the worker that served it.
struct Trace {
  std::chrono::steady_clock::time_point start;
  int jobs = 0;
};
thread_local Trace trace;

std::string Reason(const httplib::Response& response) {
  if (response.status == 200) return std::string();
  std::string line = response.body.substr(0, response.body.find('\n'));
  if (line.size() > 300) line = line.substr(0, 300) + "...";
  return " reason=" + edsd::Log::Value(line);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app{"The job server of the cable-routing database as an HTTP service:\n"
               "POST /jobs answers a job document, GET /health reports the database.",
               "edsd"};
  app.add_option("--db", options.database, "libpq connection string of the database")->required();
  app.add_option("--listen", options.listen, "Address and port to listen on (loopback unless told otherwise)")
      ->capture_default_str();
  app.add_option("--token-file", options.tokenFile, "File whose first line is the bearer token clients must send");
  app.add_option("--max-body", options.maxBody, "Largest request body in bytes")
      ->check(CLI::Range(size_t{1}, size_t{1} << 30))->capture_default_str();
  app.add_option("--workers", options.workers, "Connections served at once (worker threads)")
      ->check(CLI::Range(1, 256))->capture_default_str();
  app.add_option("--pool", options.pool, "Database connections (default: as many as workers)")
      ->check(CLI::Range(1, 256));
  app.add_option("--request-timeout", options.requestTimeout,
                 "Seconds a connection has to bring a whole request, from its opening or its previous answer")
      ->check(CLI::Range(1, 3600))->capture_default_str();
  app.add_option("--keep-alive", options.keepAlive, "Seconds an idle connection stays open")
      ->check(CLI::Range(0, 3600))->capture_default_str();
  app.add_option("--cert", options.cert, "TLS certificate (PEM); with --key, serve https");
  app.add_option("--key", options.key, "TLS private key (PEM)");
  app.add_option("--log", options.log, "Append the log to this file (default: standard error); SIGHUP reopens it");
  app.add_flag("--all-or-nothing", options.allOrNothing, "Roll back the whole document when one job fails");
  app.add_option("--max-jobs", options.maxJobs, "Most jobs in one document")
      ->check(CLI::Range(1, 10000000))->capture_default_str();
  app.add_option("--max-rows", options.maxRows, "Most rows a Read job may answer")
      ->check(CLI::Range(1, 10000000))->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& wrong) {
    return app.exit(wrong) == 0 ? 0 : 2;
  }

  std::string host;
  int port = 0;
  if (!SplitListen(options.listen, host, port)) {
    std::fprintf(stderr, "edsd: --listen takes HOST:PORT, not %s\n", options.listen.c_str());
    return 2;
  }
  if (options.cert.empty() != options.key.empty()) {
    std::fprintf(stderr, "edsd: --cert and --key go together\n");
    return 2;
  }

  KelEdsHttpServiceOptions serviceOptions;
  serviceOptions.conninfo = options.database;
  serviceOptions.maxBody = options.maxBody;
  serviceOptions.server.poolSize = options.pool > 0 ? options.pool : options.workers;
  serviceOptions.server.allOrNothing = options.allOrNothing;
  serviceOptions.server.maxJobs = options.maxJobs;
  serviceOptions.server.maxRows = options.maxRows;
  std::string error;
  bool sharedToken = false;
  if (!options.tokenFile.empty() && !ReadToken(options.tokenFile, serviceOptions.token, error, sharedToken)) {
    return Fail(error);
  }

  // Every thread made from here on inherits the blocked signals; the signal
  // thread takes them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a client gone away is a failed write, not a dead server

  edsd::Log log;
  if (!log.Open(options.log, error)) return Fail("cannot open the log: " + error);

  std::unique_ptr<httplib::Server> http;
  if (options.cert.empty()) {
    http = std::make_unique<httplib::Server>();
  } else {
    http = std::make_unique<httplib::SSLServer>(options.cert.c_str(), options.key.c_str());
    if (!http->is_valid()) return Fail("cannot load the certificate " + options.cert + " and key " + options.key);
  }
  const int workers = options.workers;
  http->new_task_queue = [workers] { return new httplib::ThreadPool(static_cast<size_t>(workers)); };
  http->set_payload_max_length(options.maxBody);
  http->set_read_timeout(options.requestTimeout, 0);
  http->set_write_timeout(options.requestTimeout, 0);
  http->set_keep_alive_timeout(options.keepAlive);
  // A kept-alive connection holds its worker: after this many requests it
  // gives the worker to the connections waiting for one.
  http->set_keep_alive_max_count(100);
  http->set_tcp_nodelay(true);  // an answer goes out whole at once: no wait for the client's ack
  // The library listens with a backlog of 5: clients beyond it wait for a
  // retransmitted handshake (a second) or are reset. The listening socket
  // passes through the socket options; listening again widens the backlog.
  int listening = -1;
  http->set_socket_options([&listening](socket_t sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listening = sock;
  });

  // The database first, so that the port opens when the service can answer.
  KelEdsHttpService service(serviceOptions);
  const bool databaseUp = service.Start(error);
  if (!http->bind_to_port(host.c_str(), port)) return Fail("cannot listen on " + options.listen);
  if (listening >= 0) listen(listening, SOMAXCONN);

  edsd::Deadline deadline(port, std::chrono::seconds(options.requestTimeout), [&log](const std::string& peer) {
    log.Write("event=timeout peer=" + peer + " reason=\"no whole request within the request timeout\"");
  });

  http->set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    trace = Trace{std::chrono::steady_clock::now(), 0};
    return httplib::Server::HandlerResponse::Unhandled;
  });
  auto handle = [&service, &deadline](const httplib::Request& request, httplib::Response& response) {
    const std::string peer = request.remote_addr + ":" + std::to_string(request.remote_port);
    deadline.Busy(peer);
    const std::string contentType = request.get_header_value("Content-Type");
    const std::string authorization = request.get_header_value("Authorization");
    KelEdsHttpReply reply = service.Handle(KelEdsHttpRequest{request.method, request.path, contentType,
                                                             authorization, request.body});
    trace.jobs = reply.jobs;
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) response.set_header(name.c_str(), value.c_str());
    response.set_content(std::move(reply.body), reply.contentType.c_str());
    deadline.Done(peer);
  };
  // Every path and method goes to the service, which answers 404 and 405 itself.
  const httplib::Server::Handler handler = handle;
  http->Get(".*", handler).Post(".*", handler).Put(".*", handler).Delete(".*", handler);
  http->Patch(".*", handler).Options(".*", handler);
  // What the library refuses itself (a body over the limit, a request it
  // cannot parse) gets its one-line reason too.
  http->set_error_handler(httplib::Server::HandlerWithResponse([&options](const httplib::Request&,
                                                                          httplib::Response& response) {
    if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    std::string reason = "the request is refused (HTTP " + std::to_string(response.status) + ")";
    if (response.status == 413) reason = "the body is over the limit of " + std::to_string(options.maxBody) + " bytes";
    if (response.status == 400) reason = "the request is malformed or was not sent in full";
    response.set_content(reason + "\n", "text/plain; charset=utf-8");
    return httplib::Server::HandlerResponse::Handled;
  }));
  http->set_logger([&log](const httplib::Request& request, const httplib::Response& response) {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - trace.start).count();
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f", trace.start.time_since_epoch().count() == 0 ? 0.0 : ms);
    log.Write("peer=" + request.remote_addr + ":" + std::to_string(request.remote_port) +
              " method=" + edsd::Log::Value(request.method) + " path=" + edsd::Log::Value(request.path) +
              " status=" + std::to_string(response.status) + " jobs=" + std::to_string(trace.jobs) +
              " in=" + std::to_string(request.body.size()) + " out=" + std::to_string(response.body.size()) +
              " ms=" + duration + Reason(response));
    trace = Trace();
  });

  std::atomic<bool> stopping{false};
  std::thread signalThread([&] {
    for (;;) {
      int received = 0;
      if (sigwait(&signals, &received) != 0) continue;
      if (received == SIGHUP) {
        log.Reopen();
        log.Write("event=reopen");
        continue;
      }
      if (!stopping.exchange(true)) log.Write("event=stop signal=" + std::to_string(received));
      http->stop();
      return;
    }
  });

  if (!databaseUp) {
    log.Write("event=database reachable=no reason=" + edsd::Log::Value(error) + " action=\"503 until it is back\"");
  }
  std::ostringstream started;
  started << "event=start listen=" << options.listen << " tls=" << (options.cert.empty() ? "no" : "yes")
          << " auth=" << (serviceOptions.token.empty() ? "none" : "bearer") << " workers=" << options.workers
          << " pool=" << serviceOptions.server.poolSize << " max_body=" << options.maxBody
          << " request_timeout=" << options.requestTimeout;
  log.Write(started.str());
  if (!Loopback(host) && (serviceOptions.token.empty() || options.cert.empty())) {
    log.Write("event=warning reason=\"listening beyond loopback without both a token and TLS\"");
  }
  if (sharedToken) log.Write("event=warning reason=\"the token file can be read by others than its owner\"");

  const bool listened = http->listen_after_bind();
  // The listener ends on a stop (the requests in flight are finished then)
  // or on a failure; the signal thread is woken in the second case.
  if (!stopping.exchange(true)) pthread_kill(signalThread.native_handle(), SIGTERM);
  signalThread.join();
  log.Write(std::string("event=stopped") + (listened ? "" : " reason=\"the listener failed\""));
  return listened ? 0 : 1;
}
