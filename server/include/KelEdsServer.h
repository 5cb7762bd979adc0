// KelEdsServer: the job server of the cable-routing database. It answers job
// exchange documents (KelEdsXMLParser) on a PostgreSQL database whose schema
// is the one KelEdsMetadataTool::GenerateSQLStatements creates: each job of
// the document is executed and its outputs, report rows, delete errors or
// error are written into the same document, which then is the answer. The
// protocol (job types, inputs, answers, error keys) is in docs/JOBS.md.
//
// Ownership: the server owns its metadata tool, the schema model drawn from
// it at Open, and a small pool of database connections; the caller owns the
// documents it passes. Nothing of libpq shows in this header.
//
// Threads: after Open, Answer and AnswerStream may be called from several
// threads at once; each call takes a connection of the pool for the whole
// document (and waits when all are taken). Open and the destructor must not
// run while another call is in progress.
#pragma once

#include <memory>
#include <string>

#include "KelEdsXMLParser.h"
#include "_SEQUENCE_octet.h"

// Why the latest failing call of a thread failed, for a caller that answers
// over a network and must tell a refused document from a database outage.
enum class KelEdsServerFailure {
  kNone,
  kRequest,      // the document was refused (not a job document, too many jobs); nothing sent
  kUnavailable,  // no usable database connection before the document began; nothing sent
  kLost,         // the connection failed before the commit was sent: nothing committed
  kUncertain,    // the connection failed while committing: committed or not, unknown
  kRefused,      // the database refused the commit: nothing committed
  kOther,        // a misuse of the object (not open, Open twice, bad options)
};

struct KelEdsServerOptions {
  int poolSize = 2;            // connections opened by Open
  int maxRows = 100000;        // a Read that matches more is refused (EDB_TooManyRows)
  int maxJobs = 100000;        // a document with more jobs is refused whole
  int maxBlockingRefs = 1000;  // delete-error elements written for one blocked delete
  bool allOrNothing = false;   // one failing job rolls back the whole document
};

class KelEdsServer {
 public:
  KelEdsServer();
  ~KelEdsServer();
  KelEdsServer(const KelEdsServer&) = delete;
  KelEdsServer& operator=(const KelEdsServer&) = delete;

  // Draws the schema model from the metadata tool, opens the pool on the
  // libpq connection string and makes sure the key sequences exist. A
  // negative code leaves the reason in LastError(). Called once per object.
  long Open(const std::string& conninfo, const KelEdsServerOptions& options = KelEdsServerOptions());

  // Executes every job of the document and writes the answers into it. A
  // negative code means the document could not be answered at all (no
  // connection, too many jobs, the database failed the transaction); then
  // nothing of it was committed. Job failures are answers, not failures.
  long Answer(KelEdsXMLParser& document);

  // Loads the request bytes, answers them and serialises the answer into a
  // new sequence that the caller deletes.
  long AnswerStream(const _SEQUENCE_octet* request, _SEQUENCE_octet** answer);

  // Why the latest failing call of this thread failed (English, one line),
  // and of which kind.
  static std::string LastError();
  static KelEdsServerFailure LastFailure();

  // Whether a PostgreSQL server accepts connections on the connection string
  // (libpq's ping: no login, no pool connection taken).
  static bool Reachable(const std::string& conninfo);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The name written as "EDB_JobErrorFile": the message file whose entries give
// the text of each error key (server/messages/KelEdsServer.msg).
constexpr const char* kKelEdsServerMessageFile = "KelEdsServer.msg";
