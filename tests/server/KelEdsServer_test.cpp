// The job server on a real PostgreSQL: KEL_TEST_PG is the connection string
// of a database that holds the generated schema (server_postgres_test.sh
// starts one). Without it every test is skipped.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "KelEdsServer.h"
#include "KelIDOMElement.h"
#include "KelListValKelUnicodeString.h"

namespace {

// Fields left out of a braced list are empty.
struct Input {
  std::string name, value = {}, type = {};
};

struct Job {
  std::string id, type = {}, input = {};
  std::vector<Input> inputs = {}, context = {};  // a context input has no type
};

struct Answer {
  std::vector<std::string> outputs;  // "name=value:type"
  std::vector<std::string> rows;
  std::vector<std::string> deleteErrors;  // "class/constraint/object"
  std::string error;                      // "key@parameters", empty when none
};

std::string U8(const KelUnicodeString& text) { return text.ToUTF8(); }
KelUnicodeString U(const std::string& text) { return KelUnicodeString::FromUTF8(text); }

const char* Conninfo() { return std::getenv("KEL_TEST_PG"); }

class ServerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Conninfo() == nullptr) GTEST_SKIP() << "KEL_TEST_PG is not set";
    db_ = PQconnectdb(Conninfo());
    ASSERT_EQ(PQstatus(db_), CONNECTION_OK) << PQerrorMessage(db_);
    Sql(
        "TRUNCATE xq40718.Work_Package, xq40718.Cable_Reference, xq40718.Cable_Instance, xq40718.Cable_From_To, "
        "xq40718.Equipment CASCADE");
    if (server_ == nullptr) {
      server_ = std::make_unique<KelEdsServer>();
      ASSERT_GE(server_->Open(Conninfo()), 0) << KelEdsServer::LastError();
    }
  }
  void TearDown() override { PQfinish(db_); }

  // One value of a query of the test's own connection ("" for no row).
  std::string Sql(const std::string& sql) {
    PGresult* result = PQexec(db_, sql.c_str());
    EXPECT_TRUE(PQresultStatus(result) == PGRES_TUPLES_OK || PQresultStatus(result) == PGRES_COMMAND_OK)
        << sql << ": " << PQresultErrorMessage(result);
    std::string value;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) value = PQgetvalue(result, 0, 0);
    PQclear(result);
    return value;
  }

  static void Build(KelEdsXMLParser& document, const std::vector<Job>& jobs) {
    ASSERT_GE(document.Init("Integration", "1.0"), 0);
    for (const Job& job : jobs) {
      document.AppendJobDefinition(U(job.id), U(job.type), U(job.input));
      for (const Input& in : job.inputs) document.InsertJobInput(U(job.id), U(in.name), U(in.value), U(in.type));
      for (const Input& in : job.context) document.InsertJobContextInput(U(job.id), U(in.name), U(in.value), "");
    }
  }

  static std::vector<Answer> Read(const KelEdsXMLParser& answered, const std::vector<Job>& jobs) {
    std::vector<Answer> answers;
    for (const Job& job : jobs) {
      Answer answer;
      KelListValKelUnicodeString a, b, c, rows;
      answered.GetJobOutput(U(job.id), a, b, c);
      for (int i = 1; i <= a.Size(); ++i) answer.outputs.push_back(U8(a[i]) + "=" + U8(b[i]) + ":" + U8(c[i]));
      a.RemoveAll(), b.RemoveAll(), c.RemoveAll();
      answered.GetJobDeleteErrOutput(U(job.id), a, b, c);
      for (int i = 1; i <= a.Size(); ++i) answer.deleteErrors.push_back(U8(a[i]) + "/" + U8(b[i]) + "/" + U8(c[i]));
      answered.GetJobReportOutput(U(job.id), rows);
      for (const KelUnicodeString& row : rows) answer.rows.push_back(U8(row));
      KelUnicodeString key, file, type, parameters;
      if (answered.GetJobError(U(job.id), key, file, type, parameters) >= 0) {
        answer.error = U8(key) + "@" + U8(parameters);
        EXPECT_EQ(U8(file), kKelEdsServerMessageFile);
      }
      answers.push_back(answer);
    }
    return answers;
  }

  // Builds the request, sends it as bytes through AnswerStream, reads the
  // answer back.
  std::vector<Answer> Run(const std::vector<Job>& jobs, bool allOrNothing = false, KelEdsServer* server = nullptr) {
    KelEdsXMLParser request;
    Build(request, jobs);
    if (allOrNothing) {
      KelIDOMElement_var root = KelQuery<KelIDOMElement>(request.GetRoot(), IID_KelIDOMElement);
      root->setAttribute("EDB_AllOrNothing", "1");
    }
    _SEQUENCE_octet* bytes = nullptr;
    EXPECT_GE(request.GenerateStream(&bytes), 0);
    std::unique_ptr<_SEQUENCE_octet> owned(bytes);
    _SEQUENCE_octet* reply = nullptr;
    EXPECT_GE((server != nullptr ? server : server_.get())->AnswerStream(bytes, &reply), 0) << KelEdsServer::LastError();
    std::unique_ptr<_SEQUENCE_octet> ownedReply(reply);
    KelEdsXMLParser answered;
    if (reply == nullptr || answered.LoadStream(reply, 0, nullptr) < 0) {
      ADD_FAILURE() << "no answer";
      return {};
    }
    return Read(answered, jobs);
  }

  // The value of an output written "name=value:type".
  static std::string Value(const std::string& out) {
    return out.substr(out.find('=') + 1, out.rfind(':') - out.find('=') - 1);
  }
  // The key output of a successful create.
  static std::string KeyOf(const Answer& answer) {
    EXPECT_EQ(answer.error, "");
    return answer.outputs.size() == 1 ? Value(answer.outputs[0]) : "?";
  }

  static Job WorkPackage(const std::string& id, const std::string& type = "design") {
    return {id, "Create", "Work_Package",
            {{"Part_instance_ptr", "pi"}, {"Document_revision_ptr", "dr"}, {"Work_package_type", type},
             {"Last_update_time", "1"}, {"Last_export_time", "2"}},
            {}};
  }
  static Job CableReference(const std::string& id, const std::string& part) {
    return {id, "Create", "xq40718.Cable_Reference",
            {{"Part_number", part}, {"Cable_type", "power"}, {"External_diameter", "0.012", "Double"},
             {"Weight_per_unit_length", "0.4"}, {"Bend_radius", "0.08"}},
            {}};
  }
  static Job CableInstance(const std::string& id, const std::string& name, const std::string& wpJob,
                           const std::string& crJob) {
    return {id, "Create", "Cable_Instance", {{"Cable_name", name}},
            {{"Work_package_key", wpJob}, {"Cable_reference_key", crJob}}};
  }

  PGconn* db_ = nullptr;
  static std::unique_ptr<KelEdsServer> server_;
};

std::unique_ptr<KelEdsServer> ServerTest::server_;

// Every job type on related objects, and the rows they leave.
TEST_F(ServerTest, EveryJobTypeOnRelatedObjects) {
  auto a = Run({WorkPackage("wp"), CableReference("cr", "PN-1"), CableInstance("ci", "W001", "wp", "cr"),
                {"read", "Read", "Cable_Instance", {{"Cable_name", "W001"}, {"Routing_priority", ""}},
                 {{"Cable_name"}, {"Work_package_key"}, {"Cable_category"}}},
                {"upd", "Update", "EdbSQL_TB4_Cable_Inst", {{"Cable_name", "W002"}, {"Maximum_length", "12.5"}},
                 {{"Cable_instance_key", "ci"}}},
                {"del", "Delete", "Cable_Instance", {}, {}}});
  ASSERT_EQ(a.size(), 6u);
  const std::string wp = KeyOf(a[0]), cr = KeyOf(a[1]), ci = KeyOf(a[2]);
  EXPECT_EQ(a[0].outputs[0], "Work_package_key=" + wp + ":Uuid");
  EXPECT_EQ(a[3].outputs, std::vector<std::string>{"Cable_instance_key=" + ci + ":Uuid"});
  EXPECT_EQ(a[3].rows, (std::vector<std::string>{"Cable_name|Work_package_key|Cable_category", "W001|" + wp + "|\\N"}));
  EXPECT_EQ(a[4].outputs, std::vector<std::string>{"Cable_instance_key=" + ci + ":Uuid"});
  EXPECT_EQ(a[5].error, "EDB_MissingKey@Cable_Instance@Cable_instance_key");
  EXPECT_EQ(Sql("SELECT Cable_name::text || '/' || Maximum_length || '/' || Work_package_key || '/' || "
                "Cable_reference_key FROM xq40718.Cable_Instance WHERE Cable_instance_key = " + ci),
            "W002/12.5/" + wp + "/" + cr);

  a = Run({{"del", "Delete", "Cable_Instance", {{"Cable_instance_key", ci}}, {}},
           {"again", "Delete", "Cable_Instance", {{"Cable_instance_key", ci}}, {}}});
  EXPECT_EQ(a[0].outputs, std::vector<std::string>{"Cable_instance_key=" + ci + ":Uuid"});
  EXPECT_EQ(a[1].error, "EDB_NotFound@Cable_Instance@" + ci);
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Cable_Instance"), "0");
}

// One table row per error key: the jobs, and the error of the last one.
TEST_F(ServerTest, EachErrorKey) {
  Sql("ALTER TABLE xq40718.Equipment ADD CONSTRAINT test_check CHECK (Cable_extra_length < 100)");
  struct Case {
    std::vector<Job> jobs;
    std::string error;
  };
  const std::string longName(300, 'x');
  const std::vector<Case> cases = {
      {{{"j", "Erase", "Work_Package", {}, {}}}, "EDB_UnknownJobType@Erase"},
      {{{"j", "Read", "Cable_route", {}, {}}}, "EDB_UnknownClass@Cable_route"},
      {{{"j", "Read", "Work_Package", {{"work_package_type", "x"}}, {}}},
       "EDB_UnknownAttribute@Work_Package@work_package_type"},
      {{{"j", "Read", "Work_Package", {}, {{"CR_Total_Length"}}}}, "EDB_UnknownAttribute@Work_Package@CR_Total_Length"},
      {{{"j", "Read", "Work_Package", {{"Work_package_type", "a"}, {"EdbSQL_TA1_Type", "b"}}, {}}},
       "EDB_DuplicateAttribute@Work_Package@EdbSQL_TA1_Type"},
      {{{"j", "Read", "Work_Package", {{"Last_update_time", "1", "Double"}}, {}}},
       "EDB_TypeMismatch@Work_Package@Last_update_time@Double@Integer"},
      {{{"j", "Read", "Work_Package", {{"Last_update_time", "2147483648"}}, {}}},
       "EDB_BadValue@Work_Package@Last_update_time@Integer"},
      {{{"j", "Read", "Work_Package", {{"Last_update_time", " 1"}}, {}}},
       "EDB_BadValue@Work_Package@Last_update_time@Integer"},
      {{{"j", "Read", "Cable_Reference", {{"Bend_radius", "nan"}}, {}}},
       "EDB_BadValue@Cable_Reference@Bend_radius@Double"},
      {{{"j", "Read", "Work_Package", {{"Work_package_type", std::string(21, 'a')}}, {}}},
       "EDB_BadValue@Work_Package@Work_package_type@String(20)"},
      {{{"j", "Create", "Work_Package", {{"Work_package_type", "t"}}, {}}},
       "EDB_MissingMandatory@Work_Package@Part_instance_ptr@Document_revision_ptr@Last_update_time@Last_export_time"},
      {{WorkPackage("wp"), {"j", "Update", "Work_Package", {{"Work_package_type", ""}}, {{"Work_package_key", "wp"}}}},
       "EDB_MissingMandatory@Work_Package@Work_package_type"},
      {{{"j", "Update", "Work_Package", {{"Work_package_key", ""}}, {}}},
       "EDB_MissingKey@Work_Package@Work_package_key"},
      {{{"j", "Update", "Work_Package", {{"Work_package_key", "77"}}, {}}}, "EDB_NotFound@Work_Package@77"},
      {{{"j", "Create", "Cable_Instance", {{"Cable_name", "W"}, {"Cable_reference_key", "1"}}, {{"Work_package_key", "nojob"}}}},
       "EDB_BadJobReference@Cable_Instance@Work_package_key@nojob"},
      {{CableReference("a", "PN"), CableReference("j", "PN")}, "EDB_UniqueViolation@Cable_Reference@CRC_UNIQ"},
      {{{"j", "Create", "Equipment", {{"Equipment_name", "E"}, {"Work_package_key", "999"}}, {}}},
       "EDB_ForeignKeyViolation@Equipment@PEC_WP"},
      // Names written as SQL, or too long, are unknown names.
      {{{"j", "Read", "Work_Package; DROP TABLE xq40718.Work_Package; --", {}, {}}},
       "EDB_UnknownClass@Work_Package; DROP TABLE xq40718.Work_Package; --"},
      {{{"j", "Read", "Work_Package", {{"Work_package_type' OR '1'='1", "x"}}, {}}},
       "EDB_UnknownAttribute@Work_Package@Work_package_type' OR '1'='1"},
      {{{"j", "Read", "Work_Package", {}, {{"Work_package_key FROM xq40718.Work_Package --"}}}},
       "EDB_UnknownAttribute@Work_Package@Work_package_key FROM xq40718.Work_Package --"},
      {{{"j", "Read", std::string(100000, 'W'), {}, {}}}, "EDB_UnknownClass@" + std::string(100000, 'W')},
      {{{"j", "Read", "Work_Package", {{"Part_instance_ptr", std::string(257, 'q')}}, {}}},
       "EDB_BadValue@Work_Package@Part_instance_ptr@String(256)"},
      {{WorkPackage("wp"),
        {"j", "Create", "Equipment", {{"Equipment_name", "E"}, {"Cable_extra_length", "1e3"}}, {{"Work_package_key", "wp"}}}},
       "EDB_DatabaseError@23514"},
  };
  // Every key has its text in the message file.
  std::ifstream file(KEL_SOURCE_DIR "/server/messages/KelEdsServer.msg");
  const std::string messages{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error.substr(0, 80));
    EXPECT_NE(messages.find("\n" + c.error.substr(0, c.error.find('@')) + " = \""), std::string::npos);
    const std::vector<Answer> a = Run(c.jobs);
    ASSERT_EQ(a.size(), c.jobs.size());
    EXPECT_EQ(a.back().error, c.error);
    EXPECT_TRUE(a.back().outputs.empty() && a.back().rows.empty());
  }
  Sql("ALTER TABLE xq40718.Equipment DROP CONSTRAINT test_check");

  KelEdsServer small;
  KelEdsServerOptions options;
  options.maxRows = 1;
  options.poolSize = 1;
  ASSERT_GE(small.Open(Conninfo(), options), 0);
  Run({WorkPackage("a"), WorkPackage("b")});
  EXPECT_EQ(Run({{"j", "Read", "Work_Package", {}, {}}}, false, &small)[0].error, "EDB_TooManyRows@Work_Package@1");
}

// A delete that foreign keys block: one delete error per referencing row,
// and the row stays.
TEST_F(ServerTest, BlockedDelete) {
  auto a = Run({WorkPackage("wp"), CableReference("cr", "PN"), CableInstance("c1", "W1", "wp", "cr"),
                CableInstance("c2", "W2", "wp", "cr"),
                {"eq", "Create", "Equipment", {{"Equipment_name", "E"}}, {{"Work_package_key", "wp"}}}});
  const std::string wp = KeyOf(a[0]);
  a = Run({{"del", "Delete", "Work_Package", {{"Work_package_key", wp}}, {}}});
  EXPECT_EQ(a[0].error, "EDB_DeleteBlocked@Work_Package@" + wp);
  EXPECT_TRUE(a[0].outputs.empty());
  auto keys = Run({{"r", "Read", "Cable_Instance", {}, {{"Cable_name"}}}, {"e", "Read", "Equipment", {}, {{"Equipment_name"}}}});
  ASSERT_EQ(keys[0].outputs.size(), 2u);
  ASSERT_EQ(keys[1].outputs.size(), 1u);
  const std::vector<std::string> expected = {"Cable_Instance/CIC_WP/" + Value(keys[0].outputs[0]),
                                             "Cable_Instance/CIC_WP/" + Value(keys[0].outputs[1]),
                                             "Equipment/PEC_WP/" + Value(keys[1].outputs[0])};
  EXPECT_EQ(a[0].deleteErrors, expected);
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package"), "1");
}

// A failing job changes nothing and the jobs after it still run; with the
// document's all-or-nothing mode, nothing of the document stays.
TEST_F(ServerTest, FailingJobsLeaveNoRow) {
  auto a = Run({WorkPackage("ok1"), CableInstance("bad", "W", "ok1", "missing"), WorkPackage("ok2")});
  EXPECT_EQ(a[1].error, "EDB_BadJobReference@Cable_Instance@Cable_reference_key@missing");
  EXPECT_EQ(a[2].error, "");
  a = Run({{"bad", "Create", "Cable_Instance",
            {{"Cable_name", "W"}, {"Cable_reference_key", "424242"}, {"Work_package_key", KeyOf(a[0])}}, {}}});
  EXPECT_EQ(a[0].error, "EDB_ForeignKeyViolation@Cable_Instance@CIC_CR");
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package") + Sql("SELECT count(*) FROM xq40718.Cable_Instance"),
            "20");
  // Statements that travel together: the failing one alone is undone, the
  // ones after it still run.
  a = Run({CableReference("c1", "PN-A"), CableReference("c2", "PN-A"), CableReference("c3", "PN-B")});
  EXPECT_EQ(a[0].error + "," + a[1].error + "," + a[2].error, ",EDB_UniqueViolation@Cable_Reference@CRC_UNIQ,");
  EXPECT_EQ(Sql("SELECT string_agg(Part_number::text, ',' ORDER BY 1) FROM xq40718.Cable_Reference"), "PN-A,PN-B");
  Sql("DELETE FROM xq40718.Cable_Reference");

  a = Run({WorkPackage("wp"), CableReference("cr", "PN-9"), CableInstance("ci", "W", "wp", "nope"),
           WorkPackage("after")},
          true);
  EXPECT_EQ(a[0].error, "EDB_RolledBack@");
  EXPECT_EQ(a[1].error, "EDB_RolledBack@");
  EXPECT_EQ(a[2].error, "EDB_BadJobReference@Cable_Instance@Cable_reference_key@nope");
  EXPECT_EQ(a[3].error, "EDB_NotRun@");
  EXPECT_TRUE(a[0].outputs.empty());
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package") + Sql("SELECT count(*) FROM xq40718.Cable_Reference"),
            "20");
}

// Values written as SQL are stored as data; non-ASCII values come back byte
// for byte, from the table and from a read.
TEST_F(ServerTest, HostileAndNonAsciiTextIsData) {
  const std::vector<std::string> values = {
      "x'); DROP TABLE xq40718.Work_Package; --",
      "' OR '1'='1",
      "a;b -- c /* d */",
      "\"Work_package_type\"",
      "$1 \\x00 %s",
      "Kabel ÄÖÜ ß",
      "電纜 🔌 é",
      "a|b\\c",
      std::string(256, 'q'),
      std::string(255, 'q') + "🔌",
  };
  for (const std::string& value : values) {
    SCOPED_TRACE(value);
    auto a = Run({{"wp", "Create", "Work_Package",
                   {{"Part_instance_ptr", value}, {"Document_revision_ptr", "dr"}, {"Work_package_type", "t"},
                    {"Last_update_time", "1"}, {"Last_export_time", "2"}},
                   {}},
                  {"r", "Read", "Work_Package", {{"Part_instance_ptr", value}}, {{"Part_instance_ptr"}}}});
    const std::string key = KeyOf(a[0]);
    std::string hex;
    for (unsigned char c : value) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    EXPECT_EQ(Sql("SELECT encode(convert_to(Part_instance_ptr::text, 'UTF8'), 'hex') FROM xq40718.Work_Package "
                  "WHERE Work_package_key = " + key),
              hex);
    std::string escaped;
    for (char c : value) escaped += (c == '|' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    ASSERT_EQ(a[1].rows.size(), 2u);
    EXPECT_EQ(a[1].rows[1], escaped);
  }
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package"), std::to_string(values.size()));
  // A NUL cannot travel in a document's bytes; one put into a document in
  // memory is refused before any SQL.
  KelEdsXMLParser document;
  Build(document, {{"j", "Read", "Work_Package", {}, {}}});
  document.InsertJobInput("j", "Part_instance_ptr", KelUnicodeString(std::u16string(u"a\0b", 3)), "");
  KelListValKelUnicodeString names, stored, types;
  document.GetJobInput("j", names, stored, types);
  ASSERT_GE(server_->Answer(document), 0);
  const Answer answer = Read(document, {{"j"}})[0];
  if (stored[1].IsEmpty()) {  // the writer kept the NUL out: a read of the NULL value
    EXPECT_EQ(answer.error, "");
    EXPECT_TRUE(answer.outputs.empty());
  } else {
    EXPECT_EQ(answer.error, "EDB_BadValue@Work_Package@Part_instance_ptr@String(256)");
  }
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package"), std::to_string(values.size()));
}

// Document-level failures: nothing answered, nothing committed.
TEST_F(ServerTest, DocumentFailures) {
  KelEdsServer closed;
  KelEdsXMLParser document;
  Build(document, {WorkPackage("wp")});
  EXPECT_LT(closed.Answer(document), 0);
  EXPECT_LT(closed.Open("host=/nonexistent-kel dbname=none connect_timeout=2"), 0);
  EXPECT_NE(KelEdsServer::LastError().find("cannot connect"), std::string::npos);
  EXPECT_LT(closed.Open(Conninfo()), 0);  // once per object, even after a failure

  KelEdsServer limited;
  KelEdsServerOptions options;
  options.maxJobs = 1;
  options.poolSize = 1;
  ASSERT_GE(limited.Open(Conninfo(), options), 0);
  Build(document, {WorkPackage("a"), WorkPackage("b")});
  EXPECT_LT(limited.Answer(document), 0);
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package"), "0");

  // A connection that the database dropped fails one document; the next
  // one gets a fresh connection.
  KelEdsServer victim;
  ASSERT_GE(victim.Open(std::string(Conninfo()) + " application_name=kel_victim", options), 0);
  Sql("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE application_name = 'kel_victim'");
  Build(document, {WorkPackage("a")});
  EXPECT_LT(victim.Answer(document), 0);
  EXPECT_NE(KelEdsServer::LastError().find("connection"), std::string::npos) << KelEdsServer::LastError();
  Build(document, {WorkPackage("a")});
  ASSERT_GE(victim.Answer(document), 0) << KelEdsServer::LastError();
  EXPECT_EQ(Read(document, {{"a"}})[0].error, "");
  EXPECT_EQ(Sql("SELECT count(*) FROM xq40718.Work_Package"), "1");
}

}  // namespace
