// edsutil uuids: a file of fresh uuids in the form the metadata dictionary
// document generator reads.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "UuidFile.h"

namespace edsutil {
namespace {

// Bounds the file at about 60 MB; the whole schema needs a few hundred.
constexpr int kMaxUuids = 1000000;

struct UuidsOptions {
  int count = 0;
  std::string out;
};

}  // namespace

void AddUuidsCommand(CLI::App& app) {
  auto options = std::make_shared<UuidsOptions>();
  CLI::App* uuids = app.add_subcommand("uuids", "Write a uuid file of N fresh random uuids");
  uuids->footer(
      "One uuid per line, in the form from which the metadata dictionary document takes its uuids:\n"
      "  INTERFACENAME = { /* 0F8FAD5B-D9CB-469F-A165-70867728950E */");
  uuids->add_option("N", options->count, "How many uuids (1 to 1000000)")->required()->check(CLI::Range(1, kMaxUuids));
  uuids->add_option("-o,--out", options->out, "Write to FILE instead of standard output")->type_name("FILE");
  uuids->callback([options] { EmitTo(options->out, UuidFileText(options->count)); });
}

}  // namespace edsutil
