// edsutil's XML documents, run as a user runs them: job documents built and
// read back, validated against the shipped DTD, the metadata dictionary
// document, and the demo that walks both roads.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cli/EdsutilTestSupport.h"

namespace {

using namespace clitest;
using namespace testfiles;

const std::string kDtdDir = std::string(KEL_SOURCE_DIR) + "/dtd";

// Value of the first `attribute="..."` after `from` in `xml`.
std::string AttributeAfter(const std::string& xml, const std::string& from, const std::string& attribute) {
  const std::size_t at = xml.find(from);
  if (at == std::string::npos) return "<no " + from + ">";
  const std::size_t start = xml.find(attribute + "=\"", at) + attribute.size() + 2;
  return xml.substr(start, xml.find('"', start) - start);
}

// The uuid as the metadata document writes it: its last dash removed.
std::string WithoutLastDash(std::string uuid) { return uuid.erase(uuid.rfind('-'), 1); }

class EdsutilDocuments : public Edsutil {
 protected:
  // Runs a command that must succeed without printing anything.
  void Quiet(const std::vector<std::string>& args) {
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << Joined(args) << "\n" << r.err;
    EXPECT_EQ(r.out + r.err, "") << Joined(args);
  }
};

TEST_F(EdsutilDocuments, JobDocumentRoundTrip) {
  const std::string file = File("jobs.xml");
  Quiet({"job", "new", file, "--version", "2.1"});
  Quiet({"job", "add", file, "J1", "Insert", "xq40718.Equipment"});
  Quiet({"job", "add", file, "J2", "Delete"});
  Quiet({"job", "input", file, "J1", "Equipment_name", "Armoire Ω-12", "-t", "String"});
  Quiet({"job", "input", file, "J1", "Work_package_key", "WP-7", "--context", "--type", "Uuid"});
  Quiet({"job", "input", file, "J1", "Flag"});
  Quiet({"job", "output", file, "J1", "Equipment_key", "K-1", "-t", "Uuid"});
  Quiet({"job", "report", file, "J1", "row one", "row — two"});
  Quiet({"job", "error", file, "J2", "EdbLocked", "msgs.cat", "J2", "second param"});
  Quiet({"job", "delete-error", file, "J2", "xq40718.Cable_Instance", "CIC_WP", "CI-9"});

  EXPECT_EQ(Output({"job", "show", file}),
            "Integration (version '2.1'): 2 jobs\n"
            "\n"
            "Job 'J1': type 'Insert', input 'xq40718.Equipment'\n"
            "  inputs:\n"
            "    NAME            VALUE         TYPE\n"
            "    Equipment_name  Armoire Ω-12  String\n"
            "    Flag\n"
            "  context inputs:\n"
            "    NAME              VALUE  TYPE\n"
            "    Work_package_key  WP-7   Uuid\n"
            "  outputs:\n"
            "    NAME           VALUE  TYPE\n"
            "    Equipment_key  K-1    Uuid\n"
            "  report:\n"
            "    row one\n"
            "    row — two\n"
            "\n"
            "Job 'J2': type 'Delete', input ''\n"
            "  delete errors:\n"
            "    CLASS                   CONSTRAINT  OBJECT\n"
            "    xq40718.Cable_Instance  CIC_WP      CI-9\n"
            "  error: key 'EdbLocked', file 'msgs.cat', parameters 'J2@second param'\n");

  EXPECT_EQ(Output({"job", "show", file, "J2", "--json"}),
            "{\"root\": \"Integration\", \"version\": \"2.1\", \"jobs\": [\n"
            "  {\"id\": \"J2\", \"type\": \"Delete\", \"input\": \"\",\n"
            "   \"inputs\": [],\n   \"contextInputs\": [],\n   \"outputs\": [],\n   \"report\": [],\n"
            "   \"deleteErrors\": [{\"class\": \"xq40718.Cable_Instance\", \"constraint\": \"CIC_WP\", "
            "\"object\": \"CI-9\"}],\n"
            "   \"error\": {\"key\": \"EdbLocked\", \"file\": \"msgs.cat\", \"type\": \"\", "
            "\"parameters\": \"J2@second param\"}}\n]}\n");

  // The tool's validate command takes what its writers produce.
  EXPECT_TRUE(Has(Output({"job", "validate", file}), "is valid against "));
}

TEST_F(EdsutilDocuments, JsonEscapesValuesAndDuplicatesNeedTheirFlag) {
  const std::string file = File("jobs.xml");
  const std::string tricky = "a \"quoted\" <b> & c\tline\nnext\r\n  end ", key = "k'&<>";
  Quiet({"job", "new", file});
  Quiet({"job", "add", file, key, "T", tricky});
  Quiet({"job", "input", file, key, "N", tricky, "-t", "x&y"});
  const std::string json = "\"a \\\"quoted\\\" <b> & c\\tline\\nnext\\r\\n  end \"";
  EXPECT_TRUE(Has(Output({"job", "show", file, "--json"}),
                  "{\"id\": \"k'&<>\", \"type\": \"T\", \"input\": " + json +
                      ",\n   \"inputs\": [{\"name\": \"N\", \"value\": " + json + ", \"type\": \"x&y\"}]"));

  // --force starts over; --allow-duplicate appends a job whose id is taken
  // (which of the two the readers find is the library's).
  Quiet({"job", "new", file, "--force", "--version", "3"});
  Quiet({"job", "add", file, "J", "First"});
  EXPECT_NE(Run({"job", "add", file, "J", "Second"}).status, 0);
  Quiet({"job", "add", file, "J", "Second", "--allow-duplicate"});
  EXPECT_EQ(Output({"job", "show", file}).rfind("Integration (version '3'): 2 jobs\n", 0), 0u);
}

TEST_F(EdsutilDocuments, DashReadsStandardInputAndWritesStandardOutput) {
  // A document that opens with its DOCTYPE still takes jobs from standard input.
  std::string document = Output({"job", "new", "-"});
  document.insert(document.find('\n') + 1, "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\">\n");
  document = Output({"job", "add", "-", "X", "Route", "élément"}, document);
  document = Output({"job", "output", "-", "X", "Length", "12.5"}, document);
  EXPECT_TRUE(Has(document, "<!DOCTYPE Integration"));
  EXPECT_EQ(Run({"job", "validate", "-"}, document).status, 0);
  const std::string shown = Output({"job", "show", "-", "--json"}, document);
  EXPECT_TRUE(Has(shown, "{\"id\": \"X\", \"type\": \"Route\", \"input\": \"élément\""));
  EXPECT_TRUE(Has(shown, "\"outputs\": [{\"name\": \"Length\", \"value\": \"12.5\", \"type\": \"\"}]"));
  EXPECT_TRUE(fs::is_empty(dir_)) << "no file written";
}

TEST_F(EdsutilDocuments, CopyTakesTheDataOfAOneJobDocument) {
  const std::string target = File("target.xml"), source = File("source.xml"), two = File("two.xml");
  Quiet({"job", "new", target});
  Quiet({"job", "add", target, "J", "Insert"});
  Quiet({"job", "new", source});
  Quiet({"job", "add", source, "J", "Insert"});
  Quiet({"job", "input", source, "J", "Name", "n"});
  Quiet({"job", "output", source, "J", "Key", "k", "-t", "Uuid"});
  Quiet({"job", "report", source, "J", "done"});
  // Each flag copies its part (what else goes with it is the library's).
  Quiet({"job", "copy", target, source, "--outputs"});
  EXPECT_TRUE(Has(Output({"job", "show", target, "--json"}), "\"inputs\": [],"));
  Quiet({"job", "copy", target, source, "--inputs"});
  EXPECT_TRUE(Has(Output({"job", "show", target, "--json"}),
                  "\"inputs\": [{\"name\": \"Name\", \"value\": \"n\", \"type\": \"\"}],\n"
                  "   \"contextInputs\": [],\n"
                  "   \"outputs\": [{\"name\": \"Key\", \"value\": \"k\", \"type\": \"Uuid\"}],\n"
                  "   \"report\": [\"done\"]"));

  Quiet({"job", "new", two});
  Quiet({"job", "add", two, "A", "T"});
  Quiet({"job", "add", two, "B", "T"});
  ExpectFailure({"job", "copy", target, two, "--inputs"}, 1, "holds 2 jobs");
}

TEST_F(EdsutilDocuments, ValidateReportsWhereTheDocumentBreaksTheDtd) {
  // The same invalid job, without DOCTYPE and with one on a line of its own:
  // the position must be the document's own in both.
  const std::string body = "<Integration version=\"1\"><EDB_Job EDB_Id=\"a\" EDB_Type=\"t\"/></Integration>";
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  WriteFile(File("bare.xml"), body);
  WriteFile(File("typed.xml"), "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\">\n" + body);
  WriteFile(File("declared.xml"), declaration + body);
  WriteFile(File("marked.xml"), "\xEF\xBB\xBF" + body);
  const Result bare = Run({"job", "validate", File("bare.xml")});
  const std::string reason = ": Element EDB_Job does not carry attribute EDB_JobInput\n";
  ASSERT_EQ(bare.status, 1);
  const std::size_t column = bare.err.find("line 1, column ");
  ASSERT_NE(column, std::string::npos) << bare.err;
  const int where = std::stoi(bare.err.substr(column + 15));
  const std::tuple<const char*, int, int> positions[] = {
      {"bare.xml", 1, where},
      {"typed.xml", 2, where},
      {"declared.xml", 1, where + static_cast<int>(declaration.size())},
      {"marked.xml", 1, where},
  };
  for (const auto& [name, line, col] : positions) {
    const Result r = Run({"job", "validate", File(name)});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_EQ(r.err, "edsutil job validate: '" + File(name) + "' is not valid: line " + std::to_string(line) +
                         ", column " + std::to_string(col) + reason);
  }

  const std::tuple<std::string, std::string> invalid[] = {
      {"<Integration version=\"1\"><EDB_Job></Integration>", "line 1, column"},
      {"<Jobs version=\"1\"/>", "Jobs"},
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE Integration SYSTEM \"other.dtd\">\n<Integration version=\"1\"/>",
       "names the DTD 'other.dtd'"},
      {"", "empty"},
      {std::string("<Integration version=\"1\"/>\0", 27), "U+0000"},
  };
  for (const auto& [text, culprit] : invalid) ExpectFailure({"job", "validate", "-"}, 1, culprit, text);

  // The DTD comes from --dtd-dir: a stricter copy there turns a valid
  // document down.
  const fs::path strict = dir_ / "strict";
  fs::create_directory(strict);
  std::string dtd = ReadFile(kDtdDir + "/KelEdsJobs.dtd");
  dtd.replace(dtd.find("version CDATA #REQUIRED"), 23, "version CDATA #REQUIRED owner CDATA #REQUIRED");
  WriteFile(strict / "KelEdsJobs.dtd", dtd);
  const std::string valid = "<Integration version=\"1\"/>";
  EXPECT_EQ(Output({"job", "validate", "-", "--dtd-dir", kDtdDir}, valid),
            "standard input is valid against " + kDtdDir + "/KelEdsJobs.dtd\n");
  ExpectFailure({"job", "validate", "-", "--dtd-dir", strict.string()}, 1, "owner", valid);
}

TEST_F(EdsutilDocuments, FailuresLeaveTheDocumentAsItWas) {
  const std::string file = File("jobs.xml"), missing = "/nonexistent-dir/out.xml";
  Quiet({"job", "new", file});
  Quiet({"job", "add", file, "J1", "Insert"});
  const std::string before = ReadFile(file);
  // One short of the 117 items: a fixed uuid does not make up for it.
  WriteFile(File("few.txt"), Run({"uuids", "116"}).out);
  fs::create_directory(dir_ / "full");
  WriteFile(dir_ / "full" / "x", "x");
  const std::string uuid = "0F8FAD5B-D9CB-469F-A165-70867728950E";

  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"job"}, 2, "see 'edsutil job --help'"},
      {{"job", "new", file}, 1, "'" + file + "' already exists"},
      {{"job", "new", missing}, 1, "cannot write '" + missing + "'"},
      {{"job", "new", File("r.xml"), "--root", "not a name"}, 1, "'not a name'"},
      {{"job", "add", file, "", "T"}, 2, "ID must not be empty"},
      {{"job", "add", file, "J1", "T"}, 1, "job 'J1' is already in"},
      {{"job", "input", file, "NOPE", "N"}, 1, "no job 'NOPE' in '" + file + "'"},
      {{"job", "input", file, "J1", ""}, 2, "NAME must not be empty"},
      {{"job", "input", file, "J1", "N", "a\x01"}, 2, "VALUE holds the character U+0001"},
      {{"job", "output", file, "J1", "N", "\xFF"}, 2, "VALUE is not well-formed UTF-8"},
      {{"job", "report", file, "J1"}, 2, "ROW is required"},
      {{"job", "error", file, "J1", "K", "F", "a@b"}, 2, "'a@b' holds '@'"},
      {{"job", "copy", file, "-"}, 2, "--inputs, --outputs or both"},
      {{"job", "copy", "-", "-", "--inputs"}, 2, "only one of FILE and SOURCE"},
      {{"job", "show", missing}, 1, "cannot read '" + missing + "'"},
      {{"job", "show", file, "J9"}, 1, "no job 'J9'"},
      {{"job", "show", dir_.string()}, 1, "is a directory"},
      {{"job", "validate", file, "--dtd-dir", dir_.string()}, 1, "no KelEdsJobs.dtd in '" + dir_.string() + "'"},
      {{"metadata", "--fix", "CableNetwork"}, 2, "'CableNetwork' is not NAME=UUID"},
      {{"metadata", "--fix", "A=0F8FAD5B-D9CB-469F-A165-70867728950"}, 2, "is not a uuid"},
      {{"metadata", "--fix", "A=" + uuid, "--fix", "A=" + uuid}, 2, "names 'A' twice"},
      {{"metadata", "--out", missing}, 1, "cannot write '" + missing + "': No such file or directory"},
      {{"metadata", "--out", dir_.string()}, 1, "cannot write '" + dir_.string() + "': it is a directory"},
      {{"metadata", "--uuids", missing}, 1, "cannot read '" + missing + "'"},
      {{"metadata", "--uuids", File("few.txt"), "--fix", "CableNetwork=" + uuid, "--out", File("m.xml")},
       1,
       "too few uuids: '" + File("few.txt") + "' holds 116 and must hold at least 117,"},
      {{"demo", (dir_ / "full").string()}, 1, "is not empty"},
      {{"demo", File("d"), "--dtd-dir", dir_.string()}, 1, "no KelEdsJobs.dtd"},
  };
  for (const auto& [args, status, culprit] : cases) ExpectFailure(args, status, culprit);
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(fs::exists(File("m.xml")));
  EXPECT_FALSE(fs::exists(File("r.xml")));
  EXPECT_FALSE(fs::exists(File("d")));
}

TEST_F(EdsutilDocuments, MetadataDocumentGoesWhereAskedAndHonoursItsUuids) {
  // Standard output carries the document alone; the library's counts go to
  // standard error with --verbose only.
  const Result quiet = Run({"metadata"});
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE Package SYSTEM "
                            "\"Dictionary00.dtd\">\n<Package Name=\"CableNetwork\"",
                            0),
            0u);
  const Result verbose = Run({"metadata", "-v", "-o", File("verbose.xml")});
  EXPECT_EQ(verbose.out, "");
  EXPECT_TRUE(Has(verbose.err, "Number of classes = 14 \n"));
  EXPECT_TRUE(Has(verbose.err, "IndUiid = 117 \n"));

  // The fixed names take their uuids, and the pool comes from a file or
  // standard input alike.
  Quiet({"uuids", "117", "-o", File("uuids.txt")});
  const std::string fixed = "0f8fad5b-d9cb-469f-a165-70867728950e";
  const std::string network = "CableNetwork=" + fixed, relationship = "CIC_WP=ABCDEF01-2345-6789-ABCDEF0123456789";
  Quiet({"metadata", "-u", File("uuids.txt"), "--fix", network, "--fix", relationship, "-o", File("m.xml")});
  const std::string document = ReadFile(File("m.xml"));
  EXPECT_EQ(AttributeAfter(document, "<Package ", "Uuid"), WithoutLastDash(fixed));
  EXPECT_EQ(AttributeAfter(document, "<Relationship Name=\"CIC_WP\"", "Uuid"), "ABCDEF01-2345-6789-ABCDEF0123456789");
  EXPECT_EQ(Output({"metadata", "-u", "-", "--fix", network, "--fix", relationship}, ReadFile(File("uuids.txt"))),
            document);

  const Result unknown = Run({"metadata", "--fix", "Cable_instance=" + fixed, "-o", File("unknown.xml")});
  EXPECT_EQ(unknown.status, 0);
  EXPECT_EQ(unknown.err,
            "edsutil metadata: warning: --fix: no item is named 'Cable_instance'; its uuid was not used\n");
}

TEST_F(EdsutilDocuments, DemoWritesEveryFileItAnnounces) {
  const fs::path work = dir_ / "work";
  fs::create_directory(work);
  const Result r = Run({"demo"}, "", nullptr, work);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const fs::path demo = work / "edsutil-demo";
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "edsutil demo: the road of a job and the road of the schema, in edsutil-demo/");
  EXPECT_EQ(lines[lines.size() - 2].rfind("Every step succeeded.", 0), 0u);

  std::set<std::string> announced;
  for (const std::string& line : lines) {
    const std::vector<std::string> words = Words(line);
    if (line.rfind("  ", 0) != 0 || words.size() < 3 || words[2] != "bytes") continue;
    announced.insert(words[0]);
    ASSERT_TRUE(fs::is_regular_file(demo / words[0])) << line;
    EXPECT_EQ(std::to_string(fs::file_size(demo / words[0])), words[1]) << line;
  }
  EXPECT_EQ(announced, (std::set<std::string>{"metadata.xml", "reply.xml", "request.xml", "schema.sql", "uuids.txt"}));
  EXPECT_EQ(Entries(demo), announced);

  // Each file parses and holds what it says.
  for (const char* name : {"request.xml", "reply.xml"}) Output({"job", "validate", (demo / name).string()});
  const std::string reply = Output({"job", "show", (demo / "reply.xml").string(), "--json"});
  for (const char* text : {"Câble de puissance 3×35 mm² — baie Ø2", "\"id\": \"JOB-3\"", "\"constraint\": \"CIC_WP\"",
                           "\"key\": \"EdbMissingMandatoryAttributes\"", "\"name\": \"Cable_instance_key\""}) {
    EXPECT_TRUE(Has(reply, text));
  }
  const std::string sql = ReadFile(demo / "schema.sql");
  EXPECT_EQ(sql, Output({"sql", "--script"}));
  EXPECT_TRUE(Has(r.out, "uuid file: " + std::to_string(Lines(ReadFile(demo / "uuids.txt")).size()) + " fresh uuids"));

  // A second run leaves the first one alone.
  const Result again = Run({"demo"}, "", nullptr, work);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(Has(again.out, ", in edsutil-demo-2/\n"));
  EXPECT_EQ(ReadFile(demo / "schema.sql"), sql);
}

}  // namespace
