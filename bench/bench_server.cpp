// The job server against raw libpq doing the same work: a document of N
// creates (Work_Package, five attributes each) and one of N reads (one
// instance by its key, every attribute), each answered in one transaction,
// against N prepared INSERTs (key from the same sequence) or N prepared
// SELECTs in one transaction. The server's time is all of AnswerStream: load
// the request bytes, check and execute every job, write the answer.
//
//   bench_server [N] [REPETITIONS]      (1000, 7; KEL_BENCH_PG names the database)
//
// Prints jobs per second for each road, the median of the repetitions, and
// the ratio server / raw (time). bench/server.sh starts a private database.
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "KelEdsServer.h"

namespace {

using Clock = std::chrono::steady_clock;

void Check(bool ok, const char* what, PGconn* db = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_server: %s %s\n", what, db != nullptr ? PQerrorMessage(db) : "");
  std::exit(1);
}

void Exec(PGconn* db, const char* sql) {
  PGresult* result = PQexec(db, sql);
  Check(PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK, sql, db);
  PQclear(result);
}

std::unique_ptr<_SEQUENCE_octet> Request(int n, bool creates, int firstKey) {
  KelEdsXMLParser document;
  document.Init("Integration", "1.0");
  for (int i = 0; i < n; ++i) {
    const KelUnicodeString id(("j" + std::to_string(i)).c_str());
    if (creates) {
      document.AppendJobDefinition(id, "Create", "Work_Package");
      document.InsertJobInput(id, "Part_instance_ptr", ("PI-" + std::to_string(i)).c_str(), "Uuid");
      document.InsertJobInput(id, "Document_revision_ptr", "DR-1", "Uuid");
      document.InsertJobInput(id, "Work_package_type", "design", "String");
      document.InsertJobInput(id, "Last_update_time", std::to_string(i).c_str(), "Integer");
      document.InsertJobInput(id, "Last_export_time", "0", "Integer");
    } else {
      document.AppendJobDefinition(id, "Read", "Work_Package");
      document.InsertJobInput(id, "Work_package_key", std::to_string(firstKey + i).c_str(), "Uuid");
    }
  }
  _SEQUENCE_octet* bytes = nullptr;
  Check(document.GenerateStream(&bytes) >= 0, "cannot build the request");
  return std::unique_ptr<_SEQUENCE_octet>(bytes);
}

double ServerSeconds(KelEdsServer& server, const _SEQUENCE_octet& request, int n, bool creates) {
  const Clock::time_point start = Clock::now();
  _SEQUENCE_octet* answer = nullptr;
  Check(server.AnswerStream(&request, &answer) >= 0, KelEdsServer::LastError().c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // Every job answered: a key per create, a header and a row per read.
  const std::string text(reinterpret_cast<const char*>(answer->_buffer), answer->_length);
  delete answer;
  size_t count = 0;
  for (size_t at = text.find("<EDB_JobOutData"); at != std::string::npos; at = text.find("<EDB_JobOutData", at + 1)) {
    ++count;
  }
  Check(count == static_cast<size_t>(n) && text.find("EDB_JobError") == std::string::npos,
        creates ? "not every create was answered with its key" : "not every read found its row");
  return seconds;
}

double RawSeconds(PGconn* db, int n, bool creates, int firstKey) {
  const Clock::time_point start = Clock::now();
  Exec(db, "BEGIN");
  int rows = 0;
  for (int i = 0; i < n; ++i) {
    std::string a = creates ? "PI-" + std::to_string(i) : std::to_string(firstKey + i);
    std::string b = std::to_string(i);
    const char* create[] = {a.c_str(), "DR-1", "design", b.c_str(), "0"};
    const char* read[] = {a.c_str()};
    PGresult* result = PQexecPrepared(db, creates ? "raw_insert" : "raw_select", creates ? 5 : 1,
                                      creates ? create : read, nullptr, nullptr, 0);
    Check(PQresultStatus(result) == PGRES_TUPLES_OK, "raw statement", db);
    rows += PQntuples(result);
    PQclear(result);
  }
  Exec(db, "COMMIT");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Check(rows == n, "raw rows");
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 7;
  const char* conninfo = std::getenv("KEL_BENCH_PG");
  Check(conninfo != nullptr && n > 0 && repetitions > 0, "usage: KEL_BENCH_PG=CONNINFO bench_server [N] [REPETITIONS]");

  PGconn* db = PQconnectdb(conninfo);
  Check(PQstatus(db) == CONNECTION_OK, "cannot connect:", db);
  PQsetNoticeProcessor(db, [](void*, const char*) {}, nullptr);
  Exec(db, "TRUNCATE xq40718.Work_Package CASCADE");
  KelEdsServer server;
  KelEdsServerOptions options;
  options.poolSize = 1;
  Check(server.Open(conninfo, options) >= 0, KelEdsServer::LastError().c_str());
  // The raw road uses the server's key sequence, so both insert the same rows.
  PGresult* prepared = PQprepare(db, "raw_insert",
                                 "INSERT INTO xq40718.Work_Package (Work_package_key, Part_instance_ptr, "
                                 "Document_revision_ptr, Work_package_type, Last_update_time, Last_export_time) "
                                 "VALUES (nextval('kel_server.work_package_key'), $1, $2, $3, $4, $5) "
                                 "RETURNING Work_package_key",
                                 5, nullptr);
  Check(PQresultStatus(prepared) == PGRES_COMMAND_OK, "prepare insert", db);
  PQclear(prepared);
  prepared = PQprepare(db, "raw_select",
                       "SELECT Work_package_key, Part_instance_ptr::text, Document_revision_ptr::text, "
                       "Work_package_type::text, Last_update_time, Last_export_time FROM xq40718.Work_Package "
                       "WHERE Work_package_key = $1",
                       1, nullptr);
  Check(PQresultStatus(prepared) == PGRES_COMMAND_OK, "prepare select", db);
  PQclear(prepared);

  std::unique_ptr<_SEQUENCE_octet> creates = Request(n, true, 0);
  std::vector<double> serverCreate, rawCreate, serverRead, rawRead;
  for (int r = 0; r < repetitions; ++r) {  // alternated, so that drift hits both roads
    serverCreate.push_back(ServerSeconds(server, *creates, n, true));
    rawCreate.push_back(RawSeconds(db, n, true, 0));
  }
  // The reads look up the first n keys of the creates above.
  PGresult* first = PQexec(db, "SELECT MIN(Work_package_key) FROM xq40718.Work_Package");
  const int firstKey = std::atoi(PQgetvalue(first, 0, 0));
  PQclear(first);
  std::unique_ptr<_SEQUENCE_octet> reads = Request(n, false, firstKey);
  for (int r = 0; r < repetitions; ++r) {
    serverRead.push_back(ServerSeconds(server, *reads, n, false));
    rawRead.push_back(RawSeconds(db, n, false, firstKey));
  }
  PQfinish(db);

  std::printf("%-8s %6s %14s %14s %8s\n", "jobs", "N", "server jobs/s", "raw jobs/s", "ratio");
  const struct {
    const char* name;
    double server, raw;
  } lines[] = {{"create", Median(serverCreate), Median(rawCreate)}, {"read", Median(serverRead), Median(rawRead)}};
  bool met = true;
  for (const auto& line : lines) {
    const double ratio = line.server / line.raw;
    met = met && ratio <= 1.5;
    std::printf("%-8s %6d %14.0f %14.0f %7.2fx\n", line.name, n, n / line.server, n / line.raw, ratio);
  }
  std::printf("target (server within 1.5x of raw libpq): %s\n", met ? "met" : "NOT met");
  return 0;
}
