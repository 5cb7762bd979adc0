// edsutil exec and send where the job server is not built (Windows: the server and
// libpq are part of the Linux build only). The command is there so that its
// usage reads the same, and says why it cannot run.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"

namespace edsutil {

void AddExecCommand(CLI::App& app) {
  auto request = std::make_shared<std::string>();
  auto database = std::make_shared<std::string>();
  CLI::App* exec = app.add_subcommand(
      "exec", "Answer a job document on a PostgreSQL database and print the answer (Linux build only)");
  exec->add_option("--db", *database, "libpq connection string of the database")->required();
  exec->add_option("request", *request, "The request document, or - for standard input")->required();
  exec->callback([] {
    throw Failure("the job server is not part of this build (it runs on Linux); use the Linux edsutil");
  });
}

}  // namespace edsutil

namespace edsutil {

void AddSendCommand(CLI::App& app) {
  auto url = std::make_shared<std::string>();
  auto request = std::make_shared<std::string>();
  CLI::App* send = app.add_subcommand("send", "Post a job document to edsd and write the answer (Linux build only)");
  send->add_option("url", *url, "http://HOST:PORT or https://HOST:PORT")->required();
  send->add_option("request", *request, "The request document, or - for standard input")->required();
  send->callback([] {
    throw Failure("the job server's client is not part of this build (it runs on Linux); use the Linux edsutil");
  });
}

}  // namespace edsutil
