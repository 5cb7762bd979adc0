// edsutil: the KelEdsUtil library's work from the command line, for the
// people who run a cable-routing database. Parses the command line with CLI11,
// runs the chosen subcommand and maps the outcome onto the exit status:
// 0 success, 1 the work failed, 2 the command line is wrong.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "EdsutilSystem.h"

namespace {

// "edsutil schema attributes": the deepest subcommand the parser reached, so
// that a usage message points at the help that explains it.
const CLI::App& DeepestCommand(const CLI::App& app) {
  const CLI::App* current = &app;
  while (!current->get_subcommands().empty()) current = current->get_subcommands().front();
  return *current;
}

std::string CommandPath(const CLI::App& app) {
  std::string path;
  for (const CLI::App* command = &DeepestCommand(app); command != nullptr; command = command->get_parent()) {
    path = command->get_name() + (path.empty() ? "" : " ") + path;
  }
  return path;
}

int Report(const std::string& command, const std::string& message, int status) {
  std::fprintf(stderr, "%s: %s\n", command.c_str(), message.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  edsutil::PrepareStandardStreams();
  CLI::App app{
      "Works with the schema of the cable-routing engineering database, its job exchange and\n"
      "metadata dictionary documents, and the engineering utilities of the KelEdsUtil library.\n"
      "'edsutil demo' walks a job and the schema through the library end to end.",
      "edsutil"};
  app.set_version_flag("--version", "edsutil " EDSUTIL_VERSION, "Print the version and exit");
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 success, 1 the work failed, 2 wrong usage.\n"
      "Run 'edsutil COMMAND --help' for the options of a command.");

  edsutil::AddSqlCommand(app);
  edsutil::AddUuidsCommand(app);
  edsutil::AddSchemaCommands(app);
  edsutil::AddEffCommands(app);
  edsutil::AddTextCommands(app);
  edsutil::AddFillCommand(app);
  edsutil::AddMetadataCommand(app);
  edsutil::AddJobCommands(app);
  edsutil::AddDemoCommand(app);
  edsutil::AddExecCommand(app);
  edsutil::AddSendCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);  // --help or --version
  } catch (const CLI::ParseError& wrong) {
    const std::string command = CommandPath(app);
    std::string message = wrong.what();
    // "edsutil frobnicate" is reported by the parser as a missing
    // subcommand; say what was typed instead.
    const std::vector<std::string> extra = DeepestCommand(app).remaining();
    if (dynamic_cast<const CLI::RequiredError*>(&wrong) != nullptr && !extra.empty()) {
      message = "unknown command '" + extra.front() + "'";
    }
    return Report(command, message + " (see '" + command + " --help')", edsutil::kExitUsage);
  } catch (const edsutil::UsageError& wrong) {
    const std::string command = CommandPath(app);
    return Report(command, std::string(wrong.what()) + " (see '" + command + " --help')", edsutil::kExitUsage);
  } catch (const edsutil::Failure& failed) {
    return Report(CommandPath(app), failed.what(), edsutil::kExitFailure);
  } catch (const std::bad_alloc&) {
    return Report(CommandPath(app), "out of memory", edsutil::kExitFailure);
  } catch (const std::exception& unexpected) {
    return Report(CommandPath(app), std::string("internal error: ") + unexpected.what(), edsutil::kExitFailure);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Report("edsutil", std::string("cannot write to standard output: ") + std::strerror(errno),
                  edsutil::kExitFailure);
  }
  return edsutil::kExitOk;
}
