// edsutil exec: answers one job exchange document on a PostgreSQL database
// with the job server (server/), and writes the answer to standard output.
// The database is named by a libpq connection string; its schema is the one
// 'edsutil sql' prints. The protocol is in docs/JOBS.md.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "KelEdsServer.h"
#include "XmlSupport.h"

namespace edsutil {
namespace {

struct ExecOptions {
  std::string database;
  std::string request;
  bool allOrNothing = false;
  int maxRows = KelEdsServerOptions().maxRows;
};

void RunExec(const ExecOptions& options) {
  const std::string bytes = ReadInput(options.request);
  KelEdsServerOptions serverOptions;
  serverOptions.poolSize = 1;
  serverOptions.allOrNothing = options.allOrNothing;
  serverOptions.maxRows = options.maxRows;
  KelEdsServer server;
  if (server.Open(options.database, serverOptions) < 0) throw Failure(KelEdsServer::LastError());
  _SEQUENCE_octet request(static_cast<unsigned long>(bytes.size()),
                          reinterpret_cast<const unsigned char*>(bytes.data()));
  _SEQUENCE_octet* answer = nullptr;
  const long answered = server.AnswerStream(&request, &answer);
  std::unique_ptr<_SEQUENCE_octet> owned(answer);
  if (answered < 0 || answer == nullptr) throw Failure(KelEdsServer::LastError());
  Emit(std::string(reinterpret_cast<const char*>(answer->_buffer), answer->_length));
}

}  // namespace

void AddExecCommand(CLI::App& app) {
  auto options = std::make_shared<ExecOptions>();
  CLI::App* exec = app.add_subcommand(
      "exec", "Answer a job document on a PostgreSQL database and print the answer");
  exec->add_option("--db", options->database, "libpq connection string of the database")->required();
  exec->add_option("request", options->request, "The request document, or - for standard input")->required();
  exec->add_flag("--all-or-nothing", options->allOrNothing,
                 "Roll back the whole document when one job fails");
  exec->add_option("--max-rows", options->maxRows, "Most rows a Read job may answer")
      ->check(CLI::Range(1, 10000000));
  exec->callback([options] { RunExec(*options); });
}

}  // namespace edsutil
