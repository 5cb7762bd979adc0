// edsutil metadata: the metadata dictionary document, which declares the
// schema's package, classes, attributes, unique constraints and relationships
// to the persistent store, each with a uuid.
//
// The library prints a count and a class summary on standard output while it
// generates; edsutil keeps those lines off standard output (which carries the
// document itself for --out -) and shows them on standard error with
// --verbose.

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "EdsutilSystem.h"
#include "EdsutilWork.h"
#include "KelEdsMetadataTool.h"
#include "SchemaModel.h"
#include "UuidFile.h"
#include "XmlSupport.h"

namespace edsutil {
namespace {

namespace fs = std::filesystem;

struct MetadataOptions {
  std::string uuids;
  std::string out;
  std::vector<std::string> fixes;
  bool verbose = false;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The number after `label` in the library's printed lines, or -1.
int PrintedNumber(const std::string& printed, const std::string& label) {
  const std::size_t at = printed.rfind(label);
  return at == std::string::npos ? -1 : std::atoi(printed.c_str() + at + label.size());
}

bool IsHex(const std::string& text) {
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

// Why `path` cannot be written, as the system would say it.
std::string WriteProblem(const std::string& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) return "it is a directory";
  const fs::path parent = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
  const fs::file_status status = fs::status(parent, error);
  if (error) return std::strerror(error.value());
  if (!fs::is_directory(status)) return std::strerror(ENOTDIR);
  const std::string problem = DirectoryWriteProblem(parent.string());
  return problem.empty() ? "the document builder could not write it" : problem;
}

std::vector<std::pair<std::string, std::string>> ParseFixes(const std::vector<std::string>& fixes) {
  std::vector<std::pair<std::string, std::string>> parsed;
  std::set<std::string> names;
  for (const std::string& fix : fixes) {
    const std::size_t equals = fix.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == fix.size()) {
      throw UsageError("--fix " + Quoted(fix) + " is not NAME=UUID");
    }
    const std::string name = fix.substr(0, equals);
    const std::string uuid = DocumentUuid(fix.substr(equals + 1));
    if (uuid.empty()) {
      throw UsageError("--fix " + Quoted(fix) + ": " + Quoted(fix.substr(equals + 1)) +
                       " is not a uuid (8-4-4-4-12 or 8-4-4-16 hex digits)");
    }
    if (!names.insert(name).second) throw UsageError("--fix names " + Quoted(name) + " twice");
    parsed.emplace_back(name, uuid);
  }
  return parsed;
}

void Run(const MetadataOptions& options) {
  MetadataRequest request;
  request.fixes = ParseFixes(options.fixes);
  ScratchDirectory scratch;
  if (options.uuids == "-") {
    request.uuidFile = scratch.File("uuids.txt");
    request.uuidFileLabel = "standard input";
    EmitTo(request.uuidFile, ReadInput("-"));
  } else if (!options.uuids.empty()) {
    ReadInput(options.uuids);  // the library takes a file it cannot open for an empty one
    request.uuidFile = options.uuids;
  }
  const bool toStdout = options.out.empty() || options.out == "-";
  request.out = toStdout ? scratch.File("metadata.xml") : options.out;
  const MetadataOutcome outcome = GenerateMetadata(request);
  if (options.verbose) std::fputs(outcome.printed.c_str(), stderr);
  for (const std::string& name : outcome.unusedFixes) {
    std::fprintf(stderr, "edsutil metadata: warning: --fix: no item is named '%s'; its uuid was not used\n",
                 name.c_str());
  }
  if (toStdout) Emit(ReadInput(request.out));
}

}  // namespace

std::string DocumentUuid(const std::string& text) {
  // 8-4-4-4-12 (a uuid as generators write it) or 8-4-4-16 (the document's form).
  const bool standard = text.size() == 36 && text[23] == '-';
  const bool documentForm = text.size() == 35;
  if (!standard && !documentForm) return "";
  for (std::size_t dash : {8, 13, 18}) {
    if (text[dash] != '-') return "";
  }
  const std::string joined = standard ? text.substr(0, 23) + text.substr(24) : text;
  const std::string digits = joined.substr(0, 8) + joined.substr(9, 4) + joined.substr(14, 4) + joined.substr(19);
  return digits.size() == 32 && IsHex(digits) ? joined : "";
}

int UuidsForEveryItem() {
  // The document takes one uuid for the package, each class, each plain
  // attribute, unique constraint and relationship. Counting every attribute
  // twice (as itself and as a unique constraint) is more than that needs.
  SchemaModel model;
  int count = 1;
  for (const std::string& name : model.ClassNames()) {
    const ClassInfo info = model.Describe(name);
    count += 1 + 2 * static_cast<int>(info.attributes.size()) + static_cast<int>(info.relationships.size());
  }
  return count;
}

namespace {

// How many uuids the file of `request` must hold: as many as a generation
// hands out, the fixed ones included, since they count toward the pool's
// limit too. Learnt from a generation into scratch that draws from edsutil's
// own, ample pool.
int UuidsNeeded(const MetadataRequest& request) {
  ScratchDirectory scratch;
  MetadataRequest ample = request;
  ample.uuidFile.clear();
  ample.uuidFileLabel.clear();
  ample.out = scratch.File("count.xml");
  return GenerateMetadata(ample).uuidsUsed;
}

}  // namespace

MetadataOutcome GenerateMetadata(const MetadataRequest& request) {
  std::optional<ScratchDirectory> scratch;
  std::string uuidFile = request.uuidFile;
  if (uuidFile.empty()) {
    scratch.emplace();
    uuidFile = scratch->File("uuids.txt");
    EmitTo(uuidFile, UuidFileText(UuidsForEveryItem()));
  }
  KelListValKelUnicodeString names, uuids;
  for (const auto& [name, uuid] : request.fixes) {
    names.Append(KelUnicodeString(name));
    uuids.Append(KelUnicodeString(uuid));
  }

  MetadataOutcome outcome;
  long result = 0;
  {
    LibraryLog log;
    KelEdsMetadataTool tool;
    StdoutCapture capture;
    result = tool.GenerateNorvaleMetaData(KelUnicodeString(uuidFile), names, uuids, KelUnicodeString(request.out));
    outcome.printed = capture.Finish();
  }
  outcome.uuidsInFile = PrintedNumber(outcome.printed, "Number of existing uuid = ");
  outcome.classes = PrintedNumber(outcome.printed, "Number of classes = ") - 1;
  outcome.uuidsUsed = PrintedNumber(outcome.printed, "IndUiid = ");
  if (result < 0) {
    if (outcome.uuidsUsed == 0) {
      const std::string file = !request.uuidFileLabel.empty() ? request.uuidFileLabel
                               : request.uuidFile.empty()     ? std::string("the generated pool")
                                                              : Quoted(request.uuidFile);
      if (request.uuidFile.empty()) {
        throw Failure("too few uuids: " + file + " holds " + std::to_string(outcome.uuidsInFile) +
                      " and the document needs one per item");
      }
      const std::string needed = std::to_string(UuidsNeeded(request));
      throw Failure("too few uuids: " + file + " holds " + std::to_string(outcome.uuidsInFile) +
                    " and must hold at least " + needed +
                    ", one per item of the document, fixed ones included (make a pool with 'edsutil uuids " +
                    needed + "')");
    }
    throw Failure("cannot write " + Quoted(request.out) + ": " + WriteProblem(request.out));
  }
  // A fixed uuid that names no item never reaches the document.
  const std::string document = ReadInput(request.out);
  for (const auto& [name, uuid] : request.fixes) {
    if (document.find("Uuid=\"" + uuid + "\"") == std::string::npos) outcome.unusedFixes.push_back(name);
  }
  return outcome;
}

void AddMetadataCommand(CLI::App& app) {
  auto options = std::make_shared<MetadataOptions>();
  CLI::App* metadata =
      app.add_subcommand("metadata", "Write the metadata dictionary document of the schema (Dictionary00.dtd)");
  metadata
      ->add_option("-u,--uuids", options->uuids,
                   "Uuid file to draw the uuids from, in the form 'edsutil uuids' writes; - reads standard\n"
                   "input. Without it, edsutil makes enough fresh uuids itself")
      ->type_name("FILE");
  metadata->add_option("-o,--out", options->out, "Write to FILE instead of standard output (- is standard output)")
      ->type_name("FILE");
  metadata
      ->add_option("--fix", options->fixes,
                   "Fix the uuid of an item: CableNetwork, a class (Work_Package), Class_attribute\n"
                   "(Work_Package_Work_package_type) or a constraint (CIC_WP); repeatable")
      ->type_name("NAME=UUID");
  metadata->add_flag("-v,--verbose", options->verbose,
                     "Show the library's uuid count and class summary on standard error");
  metadata->footer(
      "Items take uuids in document order from the file, one each. A fixed uuid given as 8-4-4-4-12 is\n"
      "written 8-4-4-16, the form the library makes of the file's uuids. A --fix name that no item has\n"
      "is warned about. Validate the result with: xmllint --valid --noout --path DTD_DIR FILE");
  metadata->callback([options] { Run(*options); });
}

}  // namespace edsutil
