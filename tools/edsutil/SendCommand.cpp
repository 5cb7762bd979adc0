// edsutil send: posts a job document to edsd (the job server behind HTTP)
// through the library's client, KelEdsClient, and writes the answer. The
// request is loaded by the library first, so that a file that is not a
// document is refused here rather than by the server.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "KelEdsClient.h"
#include "XmlSupport.h"

namespace edsutil {
namespace {

struct SendOptions {
  std::string url;
  std::string request;
  std::string output = "-";
  std::string tokenFile;
  std::string caFile;
  int timeout = KelEdsClientOptions().timeoutSeconds;
};

void RunSend(const SendOptions& options) {
  const std::string bytes = ReadInput(options.request);
  const _SEQUENCE_octet read(static_cast<unsigned long>(bytes.size()),
                             reinterpret_cast<const unsigned char*>(bytes.data()));
  KelEdsXMLParser document;
  if (document.LoadStream(&read, 0, nullptr) < 0) {
    throw Failure(options.request + ": not a well-formed document: " + LastProblem(document).Describe());
  }
  _SEQUENCE_octet* request = nullptr;
  if (document.GenerateStream(&request) < 0 || request == nullptr) throw Failure("the request cannot be written");
  std::unique_ptr<_SEQUENCE_octet> ownedRequest(request);

  KelEdsClientOptions clientOptions;
  clientOptions.timeoutSeconds = options.timeout;
  clientOptions.caFile = options.caFile;
  if (!options.tokenFile.empty()) {
    std::string token = ReadInput(options.tokenFile);
    token = token.substr(0, token.find('\n'));
    while (!token.empty() && (token.back() == '\r' || token.back() == ' ' || token.back() == '\t')) token.pop_back();
    if (token.empty()) throw Failure(options.tokenFile + ": no token on its first line");
    clientOptions.token = token;
  }
  KelEdsClient client(options.url, clientOptions);
  _SEQUENCE_octet* answer = nullptr;
  const long sent = client.SendStream(request, &answer);
  std::unique_ptr<_SEQUENCE_octet> ownedAnswer(answer);
  if (sent < 0) {
    throw Failure(client.LastStatus() == 0 ? client.LastError()
                                           : "HTTP " + std::to_string(client.LastStatus()) + ": " + client.LastError());
  }
  WriteOutput(options.output, std::string(reinterpret_cast<const char*>(answer->_buffer), answer->_length));
}

}  // namespace

void AddSendCommand(CLI::App& app) {
  auto options = std::make_shared<SendOptions>();
  CLI::App* send = app.add_subcommand("send", "Post a job document to edsd and write the answer");
  send->add_option("url", options->url, "http://HOST:PORT or https://HOST:PORT (path /jobs by default)")
      ->required();
  send->add_option("request", options->request, "The request document, or - for standard input")->required();
  send->add_option("-o,--output", options->output, "Where to write the answer (- standard output)")
      ->capture_default_str();
  send->add_option("--token-file", options->tokenFile, "File whose first line is the bearer token");
  send->add_option("--ca-file", options->caFile, "https: the authorities that sign the server's certificate");
  send->add_option("--timeout", options->timeout, "Seconds for connecting and for each read or write")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  send->callback([options] { RunSend(*options); });
}

}  // namespace edsutil
