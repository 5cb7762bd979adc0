// Output and error conventions shared by every edsutil subcommand.
//
// Results go to standard output, diagnostics to standard error. A command
// reports a failed piece of work by throwing Failure (exit status 1) and a
// misuse that the parser could not see by throwing UsageError (exit status 2);
// main turns either into one line on standard error. Results are either an
// aligned table or, with --json, one JSON value: a table becomes an array of
// objects, a single result one object.
//
// Threading: the tool is single-threaded; nothing here is meant for threads.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace edsutil {

enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// The work itself failed (an unknown class, a text the library rejects, a
// file that cannot be written). The message names what was wrong.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The arguments are well-formed for the parser but make no sense together.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a value is written in JSON.
enum class JsonKind { Text, Number, Flag };

struct Column {
  std::string title;  // table heading
  std::string key;    // JSON member name
  JsonKind kind = JsonKind::Text;
};

// Rows of text cells under fixed columns. Number cells are written as they
// are in JSON (an empty one as null); Flag cells hold "yes" or "no".
class Table {
 public:
  explicit Table(std::vector<Column> columns) : columns_(std::move(columns)) {}
  void AddRow(std::vector<std::string> cells);
  bool Empty() const { return rows_.empty(); }
  // Aligned columns under their headings, or a JSON array of objects.
  std::string Render(bool json) const;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
};

// One result as named values: "name: value" lines (just the value when there
// is only one), or a JSON object.
class Record {
 public:
  Record& Add(std::string key, std::string value, JsonKind kind = JsonKind::Text);
  // A list value: one entry per line in text form, a JSON array of strings.
  Record& AddList(std::string key, std::vector<std::string> values);
  std::string Render(bool json) const;

 private:
  struct Field {
    std::string key;
    std::string value;
    JsonKind kind;
    bool isList;
    std::vector<std::string> list;
  };
  std::vector<Field> fields_;
};

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// Writes to standard output; a failed write is a Failure.
void Emit(const std::string& text);
// Writes `content` to `path` as a whole (KelFileWriter: replaced atomically
// and durably when it is a file), or to standard output when `path` is empty.
void EmitTo(const std::string& path, const std::string& content);

// The text of a text argument: the argument itself, or all of standard input
// when it is "-" (one final line end removed).
std::string TextArgument(const std::string& argument);

// Adds the --json flag to a subcommand.
void AddJsonFlag(CLI::App& command, bool& json);

// A number as the tool prints it: up to 10 significant digits in text, enough
// digits to read the same double back in JSON.
std::string FormatNumber(double value, bool json);

}  // namespace edsutil
