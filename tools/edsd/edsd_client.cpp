// edsd_client: drives edsd for its tests and its benchmark (not installed).
//
//   load URL     C clients, each sending D documents of J creates of
//                Work_Package; one line per document to --out ("TAG-c-d
//                STATUS key,key,..."; status 0: no HTTP answer) and a summary:
//                documents per second, p50 and p99 latency. --inprocess
//                CONNINFO answers the same documents with KelEdsServer in
//                this process instead (what edsutil exec runs), for the ratio.
//   post URL     one raw request (any body, type and token); prints the
//                status, then the body.
//   doc NAME J   prints document NAME as load sends it (for edsutil exec).
//   loris H P    N connections that send a request a few bytes at a time
//                (headers, or a body that stops halfway); prints how long
//                the server took to close each, fails if one outlived
//                --seconds.
//
// Every loop is bounded by a count and by --seconds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "KelEdsClient.h"
#include "KelEdsServer.h"
#include "KelListValKelUnicodeString.h"

namespace {

using Clock = std::chrono::steady_clock;

struct LoadOptions {
  std::string url;
  int clients = 1, docs = 10, jobs = 10, pauseMs = 0;
  double seconds = 120;
  std::string tag = "L", out, tokenFile, inprocess;
};

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::unique_ptr<_SEQUENCE_octet> Document(const std::string& name, int jobs, int doc) {
  KelEdsXMLParser document;
  document.Init("Integration", "1.0");
  for (int j = 0; j < jobs; ++j) {
    const KelUnicodeString id(("j" + std::to_string(j)).c_str());
    document.AppendJobDefinition(id, "Create", "Work_Package");
    document.InsertJobInput(id, "Part_instance_ptr", (name + "-" + std::to_string(j)).c_str(), "Uuid");
    document.InsertJobInput(id, "Document_revision_ptr", ("DR-" + name).c_str(), "Uuid");
    document.InsertJobInput(id, "Work_package_type", "load", "String");
    document.InsertJobInput(id, "Last_update_time", std::to_string(j).c_str(), "Integer");
    document.InsertJobInput(id, "Last_export_time", std::to_string(doc).c_str(), "Integer");
  }
  _SEQUENCE_octet* bytes = nullptr;
  document.GenerateStream(&bytes);
  return std::unique_ptr<_SEQUENCE_octet>(bytes);
}

// The keys the answer gives, in job order, joined with ","; empty when a job
// answered none.
std::string Keys(const _SEQUENCE_octet& answer, int jobs) {
  KelEdsXMLParser document;
  if (document.LoadStream(&answer, 0, nullptr) < 0) return std::string();
  std::string keys;
  for (int j = 0; j < jobs; ++j) {
    KelListValKelUnicodeString names, values, types;
    document.GetJobOutput(KelUnicodeString(("j" + std::to_string(j)).c_str()), names, values, types);
    if (values.Size() != 1) return std::string();
    keys += (j == 0 ? "" : ",") + values[1].ToUTF8();
  }
  return keys;
}

double Percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
  return values[at];
}

int RunLoad(const LoadOptions& options) {
  KelEdsServer server;
  if (!options.inprocess.empty()) {
    KelEdsServerOptions serverOptions;
    serverOptions.poolSize = options.clients;
    if (server.Open(options.inprocess, serverOptions) < 0) {
      std::fprintf(stderr, "edsd_client: %s\n", KelEdsServer::LastError().c_str());
      return 1;
    }
  }
  KelEdsClientOptions clientOptions;
  clientOptions.timeoutSeconds = 30;
  if (!options.tokenFile.empty()) clientOptions.token = FirstLine(options.tokenFile);
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(options.seconds));
  std::mutex mutex;
  std::vector<std::string> lines;
  std::vector<double> latencies;
  int ok = 0, sent = 0;
  std::vector<std::thread> threads;
  for (int c = 0; c < options.clients; ++c) {
    threads.emplace_back([&, c] {
      KelEdsClient client(options.url, clientOptions);
      for (int d = 0; d < options.docs && Clock::now() < end; ++d) {
        const std::string name = options.tag + "-" + std::to_string(c) + "-" + std::to_string(d);
        std::unique_ptr<_SEQUENCE_octet> request = Document(name, options.jobs, d);
        _SEQUENCE_octet* answer = nullptr;
        const Clock::time_point before = Clock::now();
        long result;
        int status;
        if (options.inprocess.empty()) {
          result = client.SendStream(request.get(), &answer);
          status = client.LastStatus();
        } else {
          result = server.AnswerStream(request.get(), &answer);
          status = result >= 0 ? 200 : 503;
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
        std::unique_ptr<_SEQUENCE_octet> owned(answer);
        std::string keys = result >= 0 ? Keys(*answer, options.jobs) : client.LastError();
        if (result < 0) std::replace(keys.begin(), keys.end(), ' ', '_');
        {
          std::lock_guard<std::mutex> lock(mutex);
          ++sent;
          if (result >= 0) {
            ++ok;
            latencies.push_back(ms);
          }
          lines.push_back(name + " " + std::to_string(status) + " " + keys);
        }
        // A server that is down refuses at once: do not spin through the
        // documents while it restarts.
        if (result < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (options.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options.pauseMs));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!options.out.empty()) {
    std::ofstream out(options.out);
    for (const std::string& line : lines) out << line << '\n';
  }
  std::printf("clients=%d docs=%d ok=%d jobs_per_doc=%d seconds=%.3f docs_per_s=%.1f p50_ms=%.2f p99_ms=%.2f\n",
              options.clients, sent, ok, options.jobs, seconds, ok / seconds, Percentile(latencies, 0.5),
              Percentile(latencies, 0.99));
  return 0;
}

int RunPost(const std::string& url, const std::string& path, const std::string& type, const std::string& token,
            const std::string& bodyFile) {
  std::string body;
  if (bodyFile == "-") {
    body.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(bodyFile, std::ios::binary);
    body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  httplib::Client client(url);
  client.set_read_timeout(30);
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  const httplib::Result result = client.Post(path.c_str(), headers, body, type.c_str());
  if (!result) {
    std::printf("0\n%s\n", httplib::to_string(result.error()).c_str());
    return 1;
  }
  std::printf("%d\n%s", result->status, result->body.c_str());
  return 0;
}

// Seconds until the server closed the connection, or -1 past the limit.
double Loris(const std::string& host, int port, bool body, int intervalMs, double limit) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return 0;
  }
  // Headers that never end, or a body that stops after a few bytes.
  const std::string start = body ? "POST /jobs HTTP/1.1\r\nHost: x\r\nContent-Type: application/xml\r\n"
                                   "Content-Length: 1000\r\n\r\n<Integ"
                                 : "POST /jobs HTTP/1.1\r\nHost: x\r\n";
  const Clock::time_point opened = Clock::now();
  send(fd, start.data(), start.size(), MSG_NOSIGNAL);
  double closedAfter = -1;
  for (int step = 0; step < 100000; ++step) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - opened).count();
    if (elapsed > limit) break;
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, intervalMs) > 0) {
      char buffer[4096];
      if (recv(fd, buffer, sizeof buffer, 0) <= 0) {
        closedAfter = std::chrono::duration<double>(Clock::now() - opened).count();
        break;
      }
      continue;  // an error answer; the close follows
    }
    if (!body && send(fd, "X-a: b\r\n", 8, MSG_NOSIGNAL) < 0) {
      closedAfter = std::chrono::duration<double>(Clock::now() - opened).count();
      break;
    }
  }
  close(fd);
  return closedAfter;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Load, probe and slow clients for edsd", "edsd_client"};
  app.require_subcommand(1);

  LoadOptions load;
  CLI::App* loadCommand = app.add_subcommand("load", "Concurrent clients sending documents of creates");
  loadCommand->add_option("url", load.url)->required();
  loadCommand->add_option("--clients", load.clients)->check(CLI::Range(1, 256));
  loadCommand->add_option("--docs", load.docs)->check(CLI::Range(1, 100000));
  loadCommand->add_option("--jobs", load.jobs)->check(CLI::Range(1, 100000));
  loadCommand->add_option("--pause-ms", load.pauseMs)->check(CLI::Range(0, 10000));
  loadCommand->add_option("--seconds", load.seconds)->check(CLI::Range(0.1, 3600.0));
  loadCommand->add_option("--tag", load.tag);
  loadCommand->add_option("--out", load.out);
  loadCommand->add_option("--token-file", load.tokenFile);
  loadCommand->add_option("--inprocess", load.inprocess, "Answer in this process on this database");

  std::string postUrl, postPath = "/jobs", postType = "application/xml", postToken, postBody;
  CLI::App* postCommand = app.add_subcommand("post", "One raw request");
  postCommand->add_option("url", postUrl)->required();
  postCommand->add_option("body", postBody, "File of the body, - standard input")->required();
  postCommand->add_option("--path", postPath);
  postCommand->add_option("--type", postType);
  postCommand->add_option("--token", postToken);

  std::string lorisHost = "127.0.0.1";
  int lorisPort = 0, connections = 4, intervalMs = 500;
  double limit = 10;
  bool body = false;
  CLI::App* lorisCommand = app.add_subcommand("loris", "Slow and half-sent requests");
  lorisCommand->add_option("host", lorisHost)->required();
  lorisCommand->add_option("port", lorisPort)->required();
  lorisCommand->add_option("--connections", connections)->check(CLI::Range(1, 256));
  lorisCommand->add_option("--interval-ms", intervalMs)->check(CLI::Range(10, 10000));
  lorisCommand->add_option("--seconds", limit)->check(CLI::Range(0.1, 600.0));
  lorisCommand->add_flag("--body", body, "Send whole headers and stop halfway through the body");

  std::string docName;
  int docJobs = 10;
  CLI::App* docCommand = app.add_subcommand("doc", "Print one document of creates");
  docCommand->add_option("name", docName)->required();
  docCommand->add_option("jobs", docJobs)->required()->check(CLI::Range(1, 100000));

  CLI11_PARSE(app, argc, argv);
  if (loadCommand->parsed()) return RunLoad(load);
  if (docCommand->parsed()) {
    std::unique_ptr<_SEQUENCE_octet> bytes = Document(docName, docJobs, 0);
    std::fwrite(bytes->_buffer, 1, bytes->_length, stdout);
    return 0;
  }
  if (postCommand->parsed()) return RunPost(postUrl, postPath, postType, postToken, postBody);
  std::vector<double> closed(static_cast<size_t>(connections));
  std::vector<std::thread> threads;
  for (int i = 0; i < connections; ++i) {
    threads.emplace_back([&, i] { closed[static_cast<size_t>(i)] = Loris(lorisHost, lorisPort, body, intervalMs, limit); });
  }
  for (std::thread& thread : threads) thread.join();
  double longest = 0;
  int open = 0;
  for (double seconds : closed) {
    if (seconds < 0) ++open;
    longest = std::max(longest, seconds);
  }
  std::printf("connections=%d still_open=%d longest_s=%.2f\n", connections, open, longest);
  return open == 0 ? 0 : 1;
}
