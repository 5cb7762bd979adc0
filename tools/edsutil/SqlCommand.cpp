// edsutil sql: the statements that create the cable-routing database, as
// the metadata tool generates them or as a script that psql runs unchanged.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "EdsutilWork.h"
#include "KelEdsMetadataTool.h"

namespace edsutil {
namespace {

// The schema that owns every table: the statements name their tables
// "xq40718.<class>" and their foreign keys the bare class, so the script
// creates the schema and puts it on the search path first.
constexpr const char* kOwnerSchema = "xq40718";

struct SqlOptions {
  bool script = false;
  std::string out;
};

}  // namespace

std::string SqlText(bool script) {
  KelEdsMetadataTool tool;
  KelListValKelUnicodeString statements;
  if (tool.GenerateSQLStatements(statements) < 0 || statements.Size() == 0) {
    throw Failure("the metadata tool generated no SQL statements");
  }
  std::string text;
  if (script) {
    text += std::string("-- Cable-routing database, ") + std::to_string(statements.Size()) +
            " statements (edsutil " EDSUTIL_VERSION ").\n";
    text += std::string("CREATE SCHEMA IF NOT EXISTS ") + kOwnerSchema + ";\n";
    text += std::string("SET search_path TO ") + kOwnerSchema + ";\n";
  }
  for (const KelUnicodeString& statement : statements) {
    std::string line = statement.ToUTF8();
    if (script) {
      // Generated statements carry a double quote at each end and already
      // end with ";" inside them.
      if (line.size() < 2 || line.front() != '"' || line.back() != '"') {
        throw Failure("unexpected statement form: " + line);
      }
      line = line.substr(1, line.size() - 2);
    }
    text += line + "\n";
  }
  return text;
}

void AddSqlCommand(CLI::App& app) {
  auto options = std::make_shared<SqlOptions>();
  CLI::App* sql = app.add_subcommand("sql", "Print the SQL statements that create the cable-routing database");
  sql->footer(
      "Without --script: the statements as the library generates them, one per line, each between\n"
      "the double quotes that the library puts around it, in the order they must run.");
  sql->add_flag("--script", options->script,
                "Write a plain SQL script instead: without the quotes, preceded by\n"
                "CREATE SCHEMA IF NOT EXISTS xq40718 and SET search_path TO xq40718,\n"
                "ready for 'psql -v ON_ERROR_STOP=1 -1 -f FILE'");
  sql->add_option("-o,--out", options->out, "Write to FILE instead of standard output")->type_name("FILE");
  sql->callback([options] { EmitTo(options->out, SqlText(options->script)); });
}

}  // namespace edsutil
