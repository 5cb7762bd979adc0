// edsutil run as a user runs it: each case spawns the built binary with
// arguments (and standard input) and checks standard output, standard error
// and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cli/EdsutilTestSupport.h"

namespace {

using namespace clitest;
using namespace testfiles;

// The texts between double quotes in `line`, in order.
std::vector<std::string> QuotedParts(const std::string& line) {
  std::vector<std::string> parts;
  for (std::size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open)) {
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) break;
    parts.push_back(line.substr(open + 1, close - open - 1));
    open = close + 1;
  }
  return parts;
}

// Whether `text` is an upper-case version 4 uuid: hexadecimal digits (X) in
// the 8-4-4-4-12 shape, with the version (4) and the variant (V) in place.
bool IsUpperCaseVersion4Uuid(const std::string& text) {
  const std::string shape = "XXXXXXXX-XXXX-4XXX-VXXX-XXXXXXXXXXXX";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const std::string allowed = shape[i] == 'X' ? "0123456789ABCDEF" : shape[i] == 'V' ? "89AB" : shape.substr(i, 1);
    if (i >= text.size() || allowed.find(text[i]) == std::string::npos) return false;
  }
  return text.size() == shape.size();
}

TEST_F(Edsutil, FailuresGiveTheirStatusAndOneLineNamingTheCulprit) {
  const std::string missing = "/nonexistent-dir/out";
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{}, 2, "A subcommand is required"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"schema", "tables"}, 2, "unknown command 'tables'"},
      {{"schema"}, 2, "see 'edsutil schema --help'"},
      {{"schema", "attributes"}, 2, "CLASS is required"},
      {{"schema", "attributes", "Nope"}, 1, "unknown class 'Nope'"},
      {{"schema", "referencing", "Cable_Instance", "--only", "Nope"}, 1, "unknown class 'Nope'"},
      {{"schema", "missing", "work_package"}, 1, "did you mean 'Work_Package'"},
      {{"schema", "diagram", "--format", "pdf"}, 2, "pdf"},
      {{"schema", "diagram", "--out", missing}, 1, "cannot write '" + missing + "'"},
      {{"sql", "--out", missing}, 1, "cannot write '" + missing + "'"},
      {{"uuids", "ten"}, 2, "ten"},
      {{"uuids", "3", "--json"}, 2, "--json"},
      {{"uuids", "3", "--out", missing}, 1, "cannot write '" + missing + "'"},
      {{"eff", "parse", "abc"}, 1, "'abc': it holds no range"},
      {{"eff", "parse", "(1-5)(x-3)"}, 1, "range 2"},
      {{"eff", "union", "-", "-"}, 2, "standard input"},
      {{"eff", "union", "(5-1)", "(1-2)"}, 1, "first effectivity"},
      {{"blanks", "encode"}, 2, "TEXT is required"},
      {{"tokens", ""}, 1, "empty"},
      {{"tokens", "a,b", "--sep", ", "}, 2, "--sep"},
      {{"fill", "-t", "x", "-a", "wide", "-d", "1"}, 2, "wide"},
      {{"fill", "-t", "x", "-a", "0", "-d", "1"}, 1, "area"},
      {{"fill", "-t", "watertight", "-a", "5", "-d", "1", "2", "-s", "3"}, 2, "as many values"},
  };
  for (const auto& [args, status, culprit] : cases) ExpectFailure(args, status, culprit);
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(Edsutil, HelpAndTheVersion) {
  EXPECT_EQ(Output({"--version"}), "edsutil " EDSUTIL_VERSION_TEXT "\n");
  // CLI11 writes the texts; what matters is that each level answers with its own path.
  for (const std::string command : {"", " schema", " job delete-error"}) {
    const Result r = Run(Words(command + " --help"));
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_TRUE(Has(r.out, "Usage: edsutil" + command));
    EXPECT_EQ(r.err, "") << command;
  }
}

// Argument forms, standard input and output formats; the operations
// themselves are the library's, checked in its own suites.
TEST_F(Edsutil, UtilitiesOnKnownInputs) {
  const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
      {{"eff", "compare", "Lot (1-5)(8-oo)", "(8-oo)(1-5)"}, "", "Included\n"},
      {{"eff", "compare", "(1-10)", "(5-20)"}, "", "Overlapping\n"},
      {{"eff", "compare", "(1-10)", "(11-20)"}, "", "Disjoint\n"},
      {{"eff", "compare", "(1-5)(8-oo)", "-", "--json"}, "(1-5)(8-oo)\n", "{\"status\": \"Identical\", \"code\": 1}\n"},
      {{"eff", "union", "(6-9)", "(10-20)(1-5)"}, "", "(1-20)\n"},
      {{"eff", "union", "(30-40)", "(1-5)(3-20)", "--json"}, "", "{\"union\": \"(1-20)(30-40)\"}\n"},
      {{"eff", "parse", "(1-5)(8-oo)"},
       "",
       "RANGE   LOWER  UPPER      OPEN END\n(1-5)   1      5          no\n(8-oo)  8      100000000  yes\n"},
      {{"eff", "parse", "-", "--json"},
       "(2-3)\r\n",
       "[\n  {\"range\": \"(2-3)\", \"lower\": 2, \"upper\": 3, \"openEnd\": false}\n]\n"},
      {{"blanks", "encode", "-"}, "x   y\n", "x!3$y\n"},
      {{"blanks", "decode", "--json", "a!1$\"b\""}, "", "{\"text\": \"a \\\"b\\\"\"}\n"},
      {{"tokens", "a, b ,c", "--sep", ","}, "", "a\nb\nc\n"},
      {{"tokens", "-", "--json"}, " one  two \n", "{\"tokens\": [\"one\", \"two\"]}\n"},
      {{"fill", "--type", "non-watertight", "--area", "1000", "--diameters", "10", "20"}, "", "39.26990817\n"},
      {{"fill", "-t", "KelHgrWaterTightCblPn", "-a", "50", "-d", "1,0", "-s", "3,4"}, "", "18\n"},
      {{"fill", "-t", "watertight", "-a", "50", "-s", "3", "4", "--json"},
       "",
       "{\"percentFill\": 50, \"hangerType\": \"KelHgrWaterTightCblPn\"}\n"},
      {{"fill", "-t", "", "-a", "48", "--values", "5", "7"}, "", "25\n"},
  };
  for (const auto& [args, input, expected] : cases) EXPECT_EQ(Output(args, input), expected) << Joined(args);
}

TEST_F(Edsutil, SchemaQueriesAcceptEitherNameForm) {
  const std::tuple<std::vector<std::string>, std::string> cases[] = {
      {{"schema", "relationships", "Cable_Instance"},
       "NAME    ATTRIBUTE            REFERENCED CLASS  KIND\n"
       "CIC_WP  Work_package_key     Work_Package      foreign key\n"
       "CIC_CR  Cable_reference_key  Cable_Reference   foreign key\n"},
      {{"schema", "referencing", "xq40718.Equipment_Port", "--json"},
       "[\n  {\"class\": \"xq40718.Cable_Route\", \"relationship\": \"RTC_EP1\"},\n"
       "  {\"class\": \"xq40718.Cable_Route\", \"relationship\": \"RTC_EP2\"}\n]\n"},
      {{"schema", "referencing", "Cable_Instance", "--only", "Cable_Route"},
       "CLASS                RELATIONSHIP\nxq40718.Cable_Route  RTC_CI\n"},
      {{"schema", "missing", "xq40718.Work_Package", "Work_package_type", "Last_update_time"},
       "Part_instance_ptr\nDocument_revision_ptr\nLast_export_time\n"},
      {{"schema", "missing", "Work_Package", "--json", "Part_instance_ptr", "Document_revision_ptr",
        "Work_package_type", "Last_update_time", "Last_export_time"},
       "{\"missing\": []}\n"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(Output(args), expected) << Joined(args);

  const std::vector<std::string> rows = Lines(Output({"schema", "classes"}));
  ASSERT_EQ(rows.size(), 14u);  // a heading, then the 13 classes
  EXPECT_EQ(Words(rows[13]), (std::vector<std::string>{"xq40718.Cableway_Arc_Points", "Cableway_Arc_Points",
                                                       "Cableway_Arc_Points_Key"}));
  const std::string attrs = Output({"schema", "attributes", "Work_Package", "--json"});
  EXPECT_TRUE(Has(attrs, "\"name\": \"Work_package_key\", \"type\": \"Uuid\", \"mandatory\": true, \"key\": \"PK\""));
  EXPECT_TRUE(Has(attrs,
                  "\"name\": \"Part_instance_ptr\", \"type\": \"Uuid\", \"mandatory\": true, \"key\": \"REF\", "
                  "\"magnitude\": \"\", \"relationship\": \"WPC_PI\"}"));
  EXPECT_TRUE(Has(Output({"schema", "attributes", "xq40718.Cable_Reference"}), "LINEMASS"));

  const Result warned = Run({"schema", "missing", "Work_Package", "Work_Package_Type"});
  EXPECT_EQ(warned.status, 0);
  EXPECT_TRUE(Has(warned.err, "no attribute 'Work_Package_Type'"));
  EXPECT_TRUE(Has(warned.out, "Work_package_type\n"));
}

TEST_F(Edsutil, SqlAsGeneratedAndAsAScript) {
  const std::vector<std::string> statements = Lines(Output({"sql"}));
  ASSERT_EQ(statements.size(), 59u);
  EXPECT_EQ(Output({"sql", "--script", "--out", File("schema.sql")}), "");
  const std::vector<std::string> lines = Lines(ReadFile(File("schema.sql")));
  ASSERT_EQ(lines.size(), 62u);
  EXPECT_EQ(lines[0].rfind("-- ", 0), 0u);
  EXPECT_EQ(lines[1], "CREATE SCHEMA IF NOT EXISTS xq40718;");
  EXPECT_EQ(lines[2], "SET search_path TO xq40718;");
  for (std::size_t i = 0; i < statements.size(); ++i) {
    EXPECT_EQ(lines[i + 3], statements[i].substr(1, statements[i].size() - 2));
  }
}

TEST_F(Edsutil, UuidFileLinesHoldDistinctVersion4Uuids) {
  EXPECT_EQ(Lines(Output({"uuids", "5"})).size(), 5u);
  EXPECT_EQ(Output({"uuids", "300", "--out", File("uuids.txt")}), "");
  const std::string text = ReadFile(File("uuids.txt"));
  ASSERT_EQ(text.back(), '\n');
  std::set<std::string> seen;
  for (const std::string& line : Lines(text)) {
    const std::string uuid = line.substr(std::min<std::size_t>(line.size(), 21), 36);
    EXPECT_TRUE(IsUpperCaseVersion4Uuid(uuid)) << line;
    EXPECT_EQ(line, "INTERFACENAME = { /* " + uuid + " */");
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 300u);
}

TEST_F(Edsutil, DiagramDrawsEveryClassAndEveryRelationshipTheQueriesReport) {
  const std::string dot = Output({"schema", "diagram"});
  EXPECT_EQ(dot.rfind("digraph CableNetwork {", 0), 0u);

  std::set<std::string> classes, outsideNodes;
  std::map<std::string, std::set<std::string>> relationships;  // class -> "name attribute target"
  int foreignKeys = 0;
  for (const std::string& line : Lines(dot)) {
    const std::vector<std::string> q = QuotedParts(line);
    if (line.rfind("  \"", 0) != 0 || q.empty()) continue;
    if (line == "  \"" + q[0] + "\" [label=<") classes.insert(q[0]);
    if (line.find("style=\"rounded,dashed\"") != std::string::npos &&
        line.find("outside the schema") != std::string::npos) {
      outsideNodes.insert(q[0]);
    }
    if (line.find(" -> ") == std::string::npos) continue;
    // "FROM":"ATTR_out":w -> "TO"[:"KEY_in":e] [label="NAME" ...]
    ASSERT_GE(q.size(), 4u) << line;
    ASSERT_EQ(q[1].substr(q[1].size() - 4), "_out") << line;
    const bool toKeyRow = line.find("_in\":e [label=") != std::string::npos;
    const bool dashed = line.find("style=dashed") != std::string::npos;
    const std::string& name = q[toKeyRow ? 4 : 3];
    relationships[q[0]].insert(name + " " + q[1].substr(0, q[1].size() - 4) + " " + q[2]);
    // Foreign keys land on the referenced key's row; external references on an outside node.
    EXPECT_NE(toKeyRow, dashed) << line;
    foreignKeys += dashed ? 0 : 1;
  }
  EXPECT_EQ(classes.size(), 13u);
  EXPECT_EQ(foreignKeys, 24);
  EXPECT_EQ(outsideNodes, (std::set<std::string>{"RuxDocumentRevision", "RuxItemInstance"}));

  for (const std::string& cls : classes) {
    std::set<std::string> reported;
    for (const std::string& line : Lines(Output({"schema", "relationships", cls, "--json"}))) {
      const std::vector<std::string> parts = QuotedParts(line);  // name N attribute A target T kind K
      if (parts.size() == 8) reported.insert(parts[1] + " " + parts[3] + " " + parts[5]);
    }
    EXPECT_EQ(relationships[cls], reported) << cls;
  }
}

TEST_F(Edsutil, DiagramRendersThroughGraphvizOrSaysItIsMissing) {
  const fs::path svg = dir_ / "schema.svg";
  const Result noDot = Run({"schema", "diagram", "--format", "svg", "--out", svg.string()}, "", "/nonexistent-dir");
  EXPECT_EQ(noDot.status, 1);
  EXPECT_TRUE(Has(noDot.err, "Graphviz 'dot' is not installed"));
  EXPECT_FALSE(fs::exists(svg));

  if (!testsystem::HaveProgram("dot")) GTEST_SKIP() << "Graphviz dot is not installed";
  EXPECT_EQ(Output({"schema", "diagram", "--format", "svg", "--out", svg.string()}), "");
  EXPECT_TRUE(Has(ReadFile(svg), "<svg"));
  EXPECT_TRUE(Has(ReadFile(svg), "RTC_EP2"));
  EXPECT_EQ(Output({"schema", "diagram", "--format", "png"}).substr(0, 8), "\x89PNG\r\n\x1a\n");  // to standard output
}

}  // namespace
