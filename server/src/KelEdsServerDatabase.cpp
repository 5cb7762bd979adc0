#include "KelEdsServerDatabase.h"

#include <libpq-fe.h>

namespace kel_server {

Connection::~Connection() { PQfinish(connection_); }

bool Connection::Healthy() const { return PQstatus(connection_) == CONNECTION_OK; }

bool Connection::Reset() {
  prepared_.clear();  // a new session knows none of them
  PQreset(connection_);
  return Healthy();
}

const std::string& Connection::StatementName(const std::string& sql, bool& fresh) {
  auto found = prepared_.find(sql);
  fresh = found == prepared_.end();
  if (fresh) found = prepared_.emplace(sql, "k" + std::to_string(++statements_)).first;
  return found->second;
}

namespace {

void Take(PGresult* result, SqlResult& out) {
  const ExecStatusType status = PQresultStatus(result);
  if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
    out.ok = true;
    out.columns = PQnfields(result);
    const int rows = PQntuples(result);
    out.values.reserve(static_cast<size_t>(rows) * out.columns);
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < out.columns; ++c) {
        const bool isNull = PQgetisnull(result, r, c) != 0;
        out.null.push_back(isNull ? 1 : 0);
        out.values.emplace_back(isNull ? "" : std::string(PQgetvalue(result, r, c), PQgetlength(result, r, c)));
      }
    }
  } else if (status == PGRES_PIPELINE_ABORTED) {
    out.aborted = true;
  } else {
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const char* constraint = PQresultErrorField(result, PG_DIAG_CONSTRAINT_NAME);
    const char* message = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    out.sqlState = state != nullptr ? state : "";
    out.constraint = constraint != nullptr ? constraint : "";
    out.message = message != nullptr ? message : PQresultErrorMessage(result);
  }
}

}  // namespace

bool Connection::Exchange(const std::vector<SqlStep>& steps, std::vector<SqlResult>& results, std::string& error) {
  results.assign(steps.size(), SqlResult());
  if (PQpipelineStatus(connection_) == PQ_PIPELINE_OFF && PQenterPipelineMode(connection_) != 1) {
    error = PQerrorMessage(connection_);
    return false;
  }
  // Statements seen for the first time are prepared in the same exchange;
  // their results come first in the stream and are only checked.
  std::vector<bool> preparedHere(steps.size(), false);
  std::vector<std::string> names(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    bool fresh = false;
    names[i] = StatementName(*steps[i].sql, fresh);
    if (fresh) {
      if (PQsendPrepare(connection_, names[i].c_str(), steps[i].sql->c_str(), 0, nullptr) != 1) {
        prepared_.erase(*steps[i].sql);
        error = PQerrorMessage(connection_);
        return false;
      }
      preparedHere[i] = true;
    }
    if (PQsendQueryPrepared(connection_, names[i].c_str(), static_cast<int>(steps[i].parameters.size()),
                            steps[i].parameters.data(), nullptr, nullptr, 0) != 1) {
      error = PQerrorMessage(connection_);
      return false;
    }
  }
  if (PQpipelineSync(connection_) != 1) {
    error = PQerrorMessage(connection_);
    return false;
  }
  for (size_t i = 0; i < steps.size(); ++i) {
    bool prepareFailed = false;
    for (int part = preparedHere[i] ? 0 : 1; part < 2; ++part) {
      PGresult* result = PQgetResult(connection_);
      if (result == nullptr) {
        error = PQerrorMessage(connection_);
        return false;
      }
      if (part == 0) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK) {
          prepareFailed = true;
          prepared_.erase(*steps[i].sql);
        }
        if (PQresultStatus(result) == PGRES_FATAL_ERROR) Take(result, results[i]);
      } else if (!prepareFailed || results[i].sqlState.empty()) {
        Take(result, results[i]);
      }
      PQclear(result);
      PQclear(PQgetResult(connection_));  // the null that ends each statement's results
    }
  }
  PGresult* sync = PQgetResult(connection_);
  const bool synced = sync != nullptr && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
  PQclear(sync);
  if (!synced) error = PQerrorMessage(connection_);
  return synced;
}

bool Connection::Simple(const std::string& sql, std::string& error) {
  std::vector<SqlResult> results;
  if (!Exchange({SqlStep{&sql, {}}}, results, error)) return false;
  if (!results[0].ok) error = results[0].message;
  return results[0].ok;
}

bool Pool::Open(const std::string& conninfo, int size, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < size; ++i) {
    PGconn* connection = PQconnectdb(conninfo.c_str());
    auto owned = std::make_unique<Connection>(connection);
    if (PQstatus(connection) != CONNECTION_OK) {
      // One line: libpq's message continues on indented lines.
      error.clear();
      for (const char* c = PQerrorMessage(connection); *c != '\0'; ++c) {
        if (*c == '\n' || *c == '\t') {
          if (!error.empty() && error.back() != ' ') error += ' ';
        } else {
          error += *c;
        }
      }
      while (!error.empty() && error.back() == ' ') error.pop_back();
      return false;
    }
    PQsetClientEncoding(connection, "UTF8");
    PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);  // notices are not answers
    idle_.push_back(owned.get());
    all_.push_back(std::move(owned));
  }
  return true;
}

bool Reachable(const std::string& conninfo) { return PQping(conninfo.c_str()) == PQPING_OK; }

Connection* Pool::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  available_.wait(lock, [this] { return !idle_.empty(); });
  Connection* connection = idle_.back();
  idle_.pop_back();
  lock.unlock();
  if (!connection->Healthy()) connection->Reset();
  return connection;
}

void Pool::Release(Connection* connection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(connection);
  }
  available_.notify_one();
}

}  // namespace kel_server
