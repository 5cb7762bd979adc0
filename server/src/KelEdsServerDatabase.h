// The server's only contact with libpq: a pool of connections, each with its
// cache of prepared statements, and the pipelined round trip in which a job's
// statements travel (savepoint, statement, release in one exchange).
//
// A connection belongs to one thread between Acquire and Release; the pool
// itself is safe to use from several threads.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

namespace kel_server {

// One statement's outcome: rows as text (a null value is absent in `null`),
// or the SQL state and constraint of the error.
struct SqlResult {
  bool ok = false;
  bool aborted = false;  // skipped because an earlier statement of the exchange failed
  std::string sqlState;
  std::string constraint;
  std::string message;
  int columns = 0;
  std::vector<std::string> values;  // row-major
  std::vector<char> null;
  int Rows() const { return columns == 0 ? 0 : static_cast<int>(values.size()) / columns; }
};

struct SqlStep {
  const std::string* sql;               // statement text; prepared once per connection
  std::vector<const char*> parameters;  // nullptr binds NULL
};

class Connection {
 public:
  explicit Connection(pg_conn* connection) : connection_(connection) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends the steps in one pipelined exchange and waits for all results.
  // False when the connection itself failed (message in `error`).
  bool Exchange(const std::vector<SqlStep>& steps, std::vector<SqlResult>& results, std::string& error);
  bool Simple(const std::string& sql, std::string& error);  // one step, no parameters
  bool Healthy() const;
  bool Reset();

 private:
  const std::string& StatementName(const std::string& sql, bool& fresh);

  pg_conn* connection_;
  std::unordered_map<std::string, std::string> prepared_;
  unsigned long statements_ = 0;
};

class Pool {
 public:
  bool Open(const std::string& conninfo, int size, std::string& error);
  Connection* Acquire();
  void Release(Connection* connection);

 private:
  std::mutex mutex_;
  std::condition_variable available_;
  std::vector<std::unique_ptr<Connection>> all_;
  std::vector<Connection*> idle_;
};

// libpq's ping: whether the server accepts connections at all.
bool Reachable(const std::string& conninfo);

}  // namespace kel_server
