#include "KelEdsServer.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <functional>
#include <unordered_map>

#include "KelEdsServerDatabase.h"
#include "KelEdsServerSchema.h"
#include "KelIDOMElement.h"
#include "KelListValKelUnicodeString.h"
#include "KelResultCodes.h"

using kel_server::ClassModel;
using kel_server::Column;
using kel_server::SqlResult;
using kel_server::SqlStep;

namespace {

thread_local std::string lastError;
thread_local KelEdsServerFailure lastFailure = KelEdsServerFailure::kNone;

long Fail(const std::string& why, KelEdsServerFailure kind = KelEdsServerFailure::kOther) {
  lastError = why;
  lastFailure = kind;
  return E_FAIL;
}

// What one job answers; written into the document once the transaction has
// ended, so that a rolled-back document answers no key that does not exist.
struct JobAnswer {
  struct Output {
    KelUnicodeString name, value, type;
  };
  struct DeleteError {
    KelUnicodeString className, constraint, object;
  };
  std::vector<Output> outputs;
  KelListValKelUnicodeString rows;
  std::vector<DeleteError> deleteErrors;
  KelUnicodeString errorKey;
  KelListValKelUnicodeString errorParameters;
  std::string key;  // the key created or changed, for later jobs' references
  bool Failed() const { return !errorKey.IsEmpty(); }
};

// A job's checked input: a column and its value as bound text (null: NULL).
struct Binding {
  int column;
  bool null;
  std::string text;
};

// The job failed; the key and parameters become its EDB_JobError.
struct JobFailure {
  const char* key;
  std::vector<KelUnicodeString> parameters;
};

void Fill(JobAnswer& answer, const JobFailure& failure) {
  answer.outputs.clear();
  answer.rows.RemoveAll();
  answer.key.clear();
  answer.errorKey = failure.key;
  for (const KelUnicodeString& parameter : failure.parameters) answer.errorParameters.Append(parameter);
}

bool ValidUtf16Value(const std::u16string& text, int& characters) {
  characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    } else if ((unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') || unit == 0xFFFE ||
               unit == 0xFFFF) {
      return false;  // NUL and what no job document can carry back
    }
    ++characters;
  }
  return true;
}

// The value in the text form of its schema type, or false.
bool CheckValue(const Column& column, const KelUnicodeString& value, std::string& text) {
  int characters = 0;
  if (!ValidUtf16Value(value.Data(), characters)) return false;
  text = value.ToUTF8();
  switch (column.kind) {
    case Column::kInteger: {
      if (text.size() > 11) return false;
      int number = 0;
      const char* end = text.data() + text.size();
      auto [stop, error] = std::from_chars(text.data(), end, number);
      return error == std::errc() && stop == end;
    }
    case Column::kFloat: {
      if (text.size() > 64) return false;
      double number = 0;
      const char* end = text.data() + text.size();
      auto [stop, error] = std::from_chars(text.data(), end, number);
      return error == std::errc() && stop == end && std::isfinite(number);
    }
    case Column::kChar:
      return characters <= column.length;
  }
  return false;
}

KelUnicodeString Text(const std::string& utf8) { return KelUnicodeString::FromUTF8(utf8); }

// One report row: values joined with "|"; "\" and "|" escaped with "\", a
// NULL written "\N".
void AppendField(std::string& row, const std::string& value, bool null) {
  if (!row.empty()) row += '|';
  if (null) {
    row += "\\N";
    return;
  }
  for (char c : value) {
    if (c == '\\' || c == '|') row += '\\';
    row += c;
  }
}

const std::string kBegin = "BEGIN";
const std::string kCommit = "COMMIT";
const std::string kRollback = "ROLLBACK";
const std::string kSavepoint = "SAVEPOINT kel_job";
const std::string kRelease = "RELEASE SAVEPOINT kel_job";
const std::string kRollbackTo = "ROLLBACK TO SAVEPOINT kel_job";
// Jobs whose statements travel in one exchange with the database.
constexpr size_t kBatch = 64;

}  // namespace

struct KelEdsServer::Impl {
  KelEdsServerOptions options;
  kel_server::Schema schema;
  kel_server::Pool pool;
  bool open = false;
  bool openCalled = false;
  std::string maxRowsText, maxRefsText;

  // What to make of a job's statement once its result is in.
  using Finish = std::function<void(SqlResult&, JobAnswer&)>;

  // A job whose statement waits to travel with the next ones.
  struct Pending {
    JobAnswer* answer;
    std::u16string id;
    const ClassModel* model;
    std::string sql;
    std::vector<Binding> bound;
    Finish finish;
  };

  // Per document.
  struct Document {
    kel_server::Connection* connection = nullptr;
    std::unordered_map<std::u16string, std::string> keysByJob;
    bool brokenConnection = false;
    std::string connectionError;
    bool batching = false;  // statements are queued in `batch`, else run at once
    std::vector<Pending> batch;
    JobAnswer* answer = nullptr;  // the job being prepared
    std::u16string id;
  };

  void Submit(Document& doc, const ClassModel& model, std::string sql, std::vector<Binding> bound, Finish finish);
  void Flush(Document& doc);
  void ThrowFailure(const ClassModel& model, const SqlResult& result);

  void RunJob(Document& doc, KelEdsXMLParser& parser, const KelUnicodeString& id, const KelUnicodeString& type,
              const KelUnicodeString& input, JobAnswer& answer);
  bool Execute(Document& doc, const std::vector<SqlStep>& steps, std::vector<SqlResult>& results);
  const ClassModel& Class(const KelUnicodeString& name);
  std::vector<Binding> Bind(Document& doc, const ClassModel& model, KelEdsXMLParser& parser,
                            const KelUnicodeString& id, bool withContext);
  void Create(Document& doc, const ClassModel& model, std::vector<Binding>& bindings, JobAnswer& answer);
  void Read(Document& doc, const ClassModel& model, std::vector<Binding>& bindings,
            const std::vector<int>& selected, JobAnswer& answer);
  void Update(Document& doc, const ClassModel& model, std::vector<Binding>& bindings, JobAnswer& answer);
  void Delete(Document& doc, const ClassModel& model, std::vector<Binding>& bindings, JobAnswer& answer);
  void Statement(Document& doc, const ClassModel& model, const std::string& sql,
                 const std::vector<Binding>& bindings, SqlResult& result);
};

KelEdsServer::KelEdsServer() : impl_(std::make_unique<Impl>()) {}
KelEdsServer::~KelEdsServer() = default;

std::string KelEdsServer::LastError() { return lastError; }
KelEdsServerFailure KelEdsServer::LastFailure() { return lastFailure; }
bool KelEdsServer::Reachable(const std::string& conninfo) { return kel_server::Reachable(conninfo); }

long KelEdsServer::Open(const std::string& conninfo, const KelEdsServerOptions& options) {
  // The schema and the pool are made once: a failed Open is not retried on
  // the same object.
  if (impl_->openCalled) return Fail("Open is called once per server");
  impl_->openCalled = true;
  if (options.poolSize < 1 || options.maxRows < 1 || options.maxJobs < 1 || options.maxBlockingRefs < 1) {
    return Fail("options out of range");
  }
  impl_->options = options;
  impl_->maxRowsText = std::to_string(options.maxRows + 1);
  impl_->maxRefsText = std::to_string(options.maxBlockingRefs);
  std::string error;
  if (!impl_->schema.Build(error)) return Fail(error);
  if (!impl_->pool.Open(conninfo, options.poolSize, error)) {
    return Fail("cannot connect: " + error, KelEdsServerFailure::kUnavailable);
  }
  // The key sequences live in a schema of the server's own, next to the
  // generated one; each starts above the largest key already stored.
  kel_server::Connection* connection = impl_->pool.Acquire();
  // A read-only standby of a replicated database takes the sequences from
  // its primary: it answers reads, and its creates fail on the sequence.
  const std::string recovery = "SELECT pg_is_in_recovery()";
  std::vector<SqlResult> standby;
  bool ok = connection->Exchange({SqlStep{&recovery, {}}}, standby, error);
  const bool readOnly = ok && standby[0].ok && standby[0].values.size() == 1 && standby[0].values[0] == "t";
  ok = ok && (readOnly || connection->Simple("CREATE SCHEMA IF NOT EXISTS kel_server", error));
  for (const ClassModel& model : impl_->schema.Classes()) {
    if (!ok || readOnly) break;
    const std::string& key = model.columns[model.key].name;
    ok = connection->Simple("CREATE SEQUENCE IF NOT EXISTS " + model.keySequence + " AS integer", error) &&
         connection->Simple("SELECT setval('" + model.keySequence + "', GREATEST((SELECT COALESCE(MAX(" + key +
                                "), 0) FROM " + model.neutral + "), (SELECT CASE WHEN is_called THEN last_value " +
                                "ELSE 0 END FROM " + model.keySequence + ")) + 1, false)",
                            error);
  }
  impl_->pool.Release(connection);
  if (!ok) return Fail("cannot prepare the key sequences: " + error, KelEdsServerFailure::kUnavailable);
  impl_->open = true;
  return S_OK;
}

bool KelEdsServer::Impl::Execute(Document& doc, const std::vector<SqlStep>& steps, std::vector<SqlResult>& results) {
  if (doc.brokenConnection) return false;
  if (!doc.connection->Exchange(steps, results, doc.connectionError)) doc.brokenConnection = true;
  return !doc.brokenConnection;
}

const ClassModel& KelEdsServer::Impl::Class(const KelUnicodeString& name) {
  const ClassModel* model = schema.FindClass(name);
  if (model == nullptr) throw JobFailure{"EDB_UnknownClass", {name}};
  return *model;
}

// The inputs (and, for create and update, the context inputs that take the
// key of an earlier job), each name resolved and each value checked.
std::vector<Binding> KelEdsServer::Impl::Bind(Document& doc, const ClassModel& model, KelEdsXMLParser& parser,
                                              const KelUnicodeString& id, bool withContext) {
  KelListValKelUnicodeString names, values, types;
  parser.GetJobInput(id, names, values, types);
  std::vector<Binding> bindings;
  std::vector<bool> seen(model.columns.size(), false);
  auto take = [&](const KelUnicodeString& name) {
    const int column = schema.FindColumn(model, name);
    if (column < 0) throw JobFailure{"EDB_UnknownAttribute", {model.tessel, name}};
    if (seen[column]) throw JobFailure{"EDB_DuplicateAttribute", {model.tessel, name}};
    seen[column] = true;
    return column;
  };
  for (int i = 1; i <= names.Size() && i <= values.Size() && i <= types.Size(); ++i) {
    const int column = take(names[i]);
    const Column& info = model.columns[column];
    if (!types[i].IsEmpty() && types[i] != info.tesselType) {
      throw JobFailure{"EDB_TypeMismatch", {model.tessel, names[i], types[i], info.tesselType}};
    }
    Binding binding{column, values[i].IsEmpty(), std::string()};
    if (!binding.null && !CheckValue(info, values[i], binding.text)) {
      const std::string expected = info.kind == Column::kChar
                                       ? "String(" + std::to_string(info.length) + ")"
                                       : info.kind == Column::kInteger ? "Integer" : "Double";
      throw JobFailure{"EDB_BadValue", {model.tessel, names[i], Text(expected)}};
    }
    bindings.push_back(std::move(binding));
  }
  if (!withContext) return bindings;
  names.RemoveAll();
  values.RemoveAll();
  types.RemoveAll();
  parser.GetJobContextInput(id, names, values, types);
  // The keys of the queued jobs are known once they have run.
  if (names.Size() > 0 && !doc.batch.empty()) Flush(doc);
  for (int i = 1; i <= names.Size() && i <= values.Size(); ++i) {
    const int column = take(names[i]);
    if (model.columns[column].kind != Column::kInteger) {
      throw JobFailure{"EDB_TypeMismatch", {model.tessel, names[i], Text("Uuid"), model.columns[column].tesselType}};
    }
    auto found = doc.keysByJob.find(values[i].Data());
    if (found == doc.keysByJob.end()) throw JobFailure{"EDB_BadJobReference", {model.tessel, names[i], values[i]}};
    bindings.push_back(Binding{column, false, found->second});
  }
  return bindings;
}

// Runs one statement of a job under the job's savepoint: on failure the
// savepoint is rolled back, so the job leaves nothing behind.
void KelEdsServer::Impl::Statement(Document& doc, const ClassModel& model, const std::string& sql,
                                   const std::vector<Binding>& bindings, SqlResult& result) {
  SqlStep step{&sql, {}};
  for (const Binding& binding : bindings) step.parameters.push_back(binding.null ? nullptr : binding.text.c_str());
  std::vector<SqlResult> results;
  if (!Execute(doc, {SqlStep{&kSavepoint, {}}, step, SqlStep{&kRelease, {}}}, results)) {
    throw JobFailure{"EDB_DatabaseError", {Text("08006")}};
  }
  result = std::move(results[1]);
  if (result.ok) return;
  if (!Execute(doc, {SqlStep{&kRollbackTo, {}}, SqlStep{&kRelease, {}}}, results) || !results[0].ok) {
    throw JobFailure{"EDB_DatabaseError", {Text("08006")}};
  }
  if (result.sqlState == "23503" && sql.compare(0, 6, "DELETE") == 0) return;  // the caller lists the references
  ThrowFailure(model, result);
}

void KelEdsServer::Impl::ThrowFailure(const ClassModel& model, const SqlResult& result) {
  if (result.sqlState == "23505") throw JobFailure{"EDB_UniqueViolation", {model.tessel, schema.ConstraintName(result.constraint)}};
  if (result.sqlState == "23503") throw JobFailure{"EDB_ForeignKeyViolation", {model.tessel, schema.ConstraintName(result.constraint)}};
  if (result.sqlState == "23502") throw JobFailure{"EDB_MissingMandatory", {model.tessel}};
  throw JobFailure{"EDB_DatabaseError", {Text(result.sqlState)}};
}

void KelEdsServer::Impl::Create(Document& doc, const ClassModel& model, std::vector<Binding>& bindings,
                                JobAnswer& answer) {
  std::vector<bool> given(model.columns.size(), false);
  bool keyGiven = false;
  for (const Binding& binding : bindings) {
    given[binding.column] = !binding.null;
    keyGiven = keyGiven || (binding.column == model.key && !binding.null);
  }
  JobFailure missing{"EDB_MissingMandatory", {model.tessel}};
  for (size_t c = 0; c < model.columns.size(); ++c) {
    if (model.columns[c].notNull && !given[c] && static_cast<int>(c) != model.key) {
      missing.parameters.push_back(Text(model.columns[c].name));
    }
  }
  if (missing.parameters.size() > 1) throw missing;
  const std::string& key = model.columns[model.key].name;
  std::string columns = keyGiven ? "" : key, values = keyGiven ? "" : "nextval('" + model.keySequence + "')";
  std::vector<Binding> bound;
  for (Binding& binding : bindings) {
    if (binding.column == model.key && binding.null) continue;  // an empty key is allocated too
    const std::string separator = columns.empty() ? "" : ", ";
    columns += separator + model.columns[binding.column].name;
    values += separator + "$" + std::to_string(bound.size() + 1);
    bound.push_back(std::move(binding));
  }
  std::string sql = "INSERT INTO " + model.neutral + " (" + columns + ") VALUES (" + values + ") RETURNING " + key;
  Submit(doc, model, std::move(sql), std::move(bound), [&model](SqlResult& result, JobAnswer& done) {
    const Column& column = model.columns[model.key];
    done.key = result.values.at(0);
    done.outputs.push_back({Text(column.name), Text(done.key), column.tesselType});
  });
}

void KelEdsServer::Impl::Read(Document& doc, const ClassModel& model, std::vector<Binding>& bindings,
                              const std::vector<int>& selected, JobAnswer& answer) {
  const Column& key = model.columns[model.key];
  std::string sql = "SELECT " + key.name;
  std::string header;
  for (int column : selected) {
    sql += ", " + model.columns[column].selectExpression;
    AppendField(header, model.columns[column].name, false);
  }
  sql += " FROM " + model.neutral;
  std::vector<Binding> bound;
  bool where = false;
  for (Binding& binding : bindings) {
    sql += where ? " AND " : " WHERE ";
    where = true;
    if (binding.null) {
      sql += model.columns[binding.column].name + " IS NULL";
    } else {
      bound.push_back(std::move(binding));
      sql += model.columns[bound.back().column].name + " = $" + std::to_string(bound.size());
    }
  }
  sql += " ORDER BY 1 LIMIT " + maxRowsText;
  Submit(doc, model, std::move(sql), std::move(bound),
         [this, &model, header, empty = selected.empty()](SqlResult& result, JobAnswer& answer) {
  const Column& key = model.columns[model.key];
  const int rows = result.Rows();
  if (rows > options.maxRows) {
    throw JobFailure{"EDB_TooManyRows", {model.tessel, Text(std::to_string(options.maxRows))}};
  }
  answer.rows.Append(Text(header));
  for (int r = 0; r < rows; ++r) {
    std::string row;
    for (int c = 1; c < result.columns; ++c) {
      const size_t at = static_cast<size_t>(r) * result.columns + c;
      AppendField(row, result.values[at], result.null[at] != 0);
    }
    if (empty) row.clear();
    answer.rows.Append(Text(row));
    answer.outputs.push_back({Text(key.name), Text(result.values[static_cast<size_t>(r) * result.columns]),
                              key.tesselType});
  }
  });
}

namespace {

// The key binding of an update or delete: required and not empty.
Binding TakeKey(const ClassModel& model, std::vector<Binding>& bindings) {
  for (size_t i = 0; i < bindings.size(); ++i) {
    if (bindings[i].column == model.key && !bindings[i].null) {
      Binding key = bindings[i];
      bindings.erase(bindings.begin() + static_cast<long>(i));
      return key;
    }
  }
  throw JobFailure{"EDB_MissingKey", {model.tessel, Text(model.columns[model.key].name)}};
}

}  // namespace

void KelEdsServer::Impl::Update(Document& doc, const ClassModel& model, std::vector<Binding>& bindings,
                                JobAnswer& answer) {
  Binding key = TakeKey(model, bindings);
  const std::string& keyName = model.columns[model.key].name;
  std::string assignments;
  std::vector<Binding> bound{key};
  for (Binding& binding : bindings) {
    const Column& column = model.columns[binding.column];
    if (binding.null && column.notNull) throw JobFailure{"EDB_MissingMandatory", {model.tessel, Text(column.name)}};
    bound.push_back(std::move(binding));
    assignments += (assignments.empty() ? "" : ", ") + column.name + " = $" + std::to_string(bound.size());
  }
  // Nothing to change still checks that the instance is there.
  if (assignments.empty()) assignments = keyName + " = " + keyName;
  std::string sql =
      "UPDATE " + model.neutral + " SET " + assignments + " WHERE " + keyName + " = $1 RETURNING " + keyName;
  Submit(doc, model, std::move(sql), std::move(bound), [&model, key = key.text](SqlResult& result, JobAnswer& done) {
    if (result.Rows() == 0) throw JobFailure{"EDB_NotFound", {model.tessel, Text(key)}};
    done.key = key;
    done.outputs.push_back({Text(model.columns[model.key].name), Text(key), model.columns[model.key].tesselType});
  });
}

void KelEdsServer::Impl::Delete(Document& doc, const ClassModel& model, std::vector<Binding>& bindings,
                                JobAnswer& answer) {
  Binding key = TakeKey(model, bindings);
  const std::string& keyName = model.columns[model.key].name;
  const std::string sql = "DELETE FROM " + model.neutral + " WHERE " + keyName + " = $1 RETURNING " + keyName;
  SqlResult result;
  Statement(doc, model, sql, {key}, result);
  if (result.ok) {
    if (result.Rows() == 0) throw JobFailure{"EDB_NotFound", {model.tessel, Text(key.text)}};
    answer.outputs.push_back({Text(keyName), Text(key.text), model.columns[model.key].tesselType});
    return;
  }
  // Blocked by a foreign key: one delete error per referencing row, at most
  // maxBlockingRefs in all.
  std::vector<SqlStep> steps;
  for (const kel_server::Reference& reference : model.referencedBy) {
    steps.push_back(SqlStep{&reference.query, {key.text.c_str(), maxRefsText.c_str()}});
  }
  std::vector<SqlResult> results;
  if (!Execute(doc, steps, results)) throw JobFailure{"EDB_DatabaseError", {Text("08006")}};
  for (size_t r = 0; r < results.size(); ++r) {
    for (const std::string& referencing : results[r].values) {
      if (static_cast<int>(answer.deleteErrors.size()) >= options.maxBlockingRefs) break;
      answer.deleteErrors.push_back(
          {model.referencedBy[r].referencingClass, model.referencedBy[r].constraint, Text(referencing)});
    }
  }
  throw JobFailure{"EDB_DeleteBlocked", {model.tessel, Text(key.text)}};
}

void KelEdsServer::Impl::RunJob(Document& doc, KelEdsXMLParser& parser, const KelUnicodeString& id,
                                const KelUnicodeString& type, const KelUnicodeString& input, JobAnswer& answer) {
  doc.answer = &answer;
  doc.id = id.Data();
  try {
    const std::u16string_view kind = type.View();
    if (kind != u"Create" && kind != u"Read" && kind != u"Update" && kind != u"Delete") {
      throw JobFailure{"EDB_UnknownJobType", {type}};
    }
    const ClassModel& model = Class(input);
    std::vector<Binding> bindings = Bind(doc, model, parser, id, kind == u"Create" || kind == u"Update");
    // A delete (whose failure needs more statements) waits for the queued
    // jobs to be done.
    if (kind == u"Delete") Flush(doc);
    if (kind == u"Create") {
      Create(doc, model, bindings, answer);
    } else if (kind == u"Update") {
      Update(doc, model, bindings, answer);
    } else if (kind == u"Delete") {
      Delete(doc, model, bindings, answer);
    } else {
      // The context inputs of a read name the attributes of its rows.
      KelListValKelUnicodeString names, values, types;
      parser.GetJobContextInput(id, names, values, types);
      std::vector<int> selected;
      std::vector<bool> seen(model.columns.size(), false);
      for (const KelUnicodeString& name : names) {
        const int column = schema.FindColumn(model, name);
        if (column < 0) throw JobFailure{"EDB_UnknownAttribute", {model.tessel, name}};
        if (seen[column]) throw JobFailure{"EDB_DuplicateAttribute", {model.tessel, name}};
        seen[column] = true;
        selected.push_back(column);
      }
      if (selected.empty()) {
        for (size_t c = 0; c < model.columns.size(); ++c) selected.push_back(static_cast<int>(c));
      }
      Read(doc, model, bindings, selected, answer);
    }
  } catch (const JobFailure& failure) {
    Fill(answer, failure);
  }
}

void KelEdsServer::Impl::Submit(Document& doc, const ClassModel& model, std::string sql, std::vector<Binding> bound,
                                Finish finish) {
  if (doc.batching) {
    doc.batch.push_back(Pending{doc.answer, doc.id, &model, std::move(sql), std::move(bound), std::move(finish)});
    if (doc.batch.size() >= kBatch) Flush(doc);
    return;
  }
  SqlResult result;
  Statement(doc, model, sql, bound, result);
  finish(result, *doc.answer);
  if (!doc.answer->key.empty()) doc.keysByJob[doc.id] = doc.answer->key;
}

// Sends the queued statements in one exchange, each under the job savepoint.
// The first that fails is rolled back alone; the ones after it, skipped by
// the database, go again in the next exchange.
void KelEdsServer::Impl::Flush(Document& doc) {
  size_t next = 0;
  std::vector<SqlStep> steps;
  std::vector<SqlResult> results;
  while (next < doc.batch.size() && !doc.brokenConnection) {
    steps.clear();
    for (size_t k = next; k < doc.batch.size(); ++k) {
      SqlStep step{&doc.batch[k].sql, {}};
      for (const Binding& binding : doc.batch[k].bound) {
        step.parameters.push_back(binding.null ? nullptr : binding.text.c_str());
      }
      steps.push_back(SqlStep{&kSavepoint, {}});
      steps.push_back(std::move(step));
      steps.push_back(SqlStep{&kRelease, {}});
    }
    if (!Execute(doc, steps, results)) break;
    const size_t first = next;
    for (size_t k = first; k < doc.batch.size(); ++k) {
      Pending& job = doc.batch[k];
      SqlResult& result = results[3 * (k - first) + 1];
      next = k + 1;
      try {
        if (result.ok) {
          job.finish(result, *job.answer);
          if (!job.answer->key.empty()) doc.keysByJob[job.id] = job.answer->key;
          continue;
        }
        std::vector<SqlResult> undo;
        if (!Execute(doc, {SqlStep{&kRollbackTo, {}}, SqlStep{&kRelease, {}}}, undo) || !undo[0].ok) {
          throw JobFailure{"EDB_DatabaseError", {Text("08006")}};
        }
        ThrowFailure(*job.model, result);
      } catch (const JobFailure& failure) {
        Fill(*job.answer, failure);
        if (!result.ok) break;
      }
    }
  }
  doc.batch.clear();
}

long KelEdsServer::Answer(KelEdsXMLParser& document) {
  lastFailure = KelEdsServerFailure::kNone;
  if (!impl_->open) return Fail("the server is not open");
  KelListValKelUnicodeString ids, types, inputs;
  if (document.GetJobDefinition(ids, types, inputs) < 0) {
    return Fail("the document cannot be read", KelEdsServerFailure::kRequest);
  }
  if (ids.Size() > impl_->options.maxJobs) {
    return Fail("the document holds " + std::to_string(ids.Size()) + " jobs, more than " +
                    std::to_string(impl_->options.maxJobs),
                KelEdsServerFailure::kRequest);
  }
  bool allOrNothing = impl_->options.allOrNothing;
  KelIDOMElement_var root = KelQuery<KelIDOMElement>(document.GetRoot(), IID_KelIDOMElement);
  if (root.get() != nullptr) {
    KelUnicodeString mode;
    root->getAttribute("EDB_AllOrNothing", mode);
    allOrNothing = allOrNothing || mode == KelUnicodeString("1") || mode == KelUnicodeString("true");
  }

  Impl::Document doc;
  doc.connection = impl_->pool.Acquire();
  // A connection whose exchange failed midway is reset before it goes back.
  struct Return {
    kel_server::Pool& pool;
    Impl::Document& doc;
    ~Return() {
      if (doc.brokenConnection) doc.connection->Reset();
      pool.Release(doc.connection);
    }
  } giveBack{impl_->pool, doc};

  std::vector<SqlResult> results;
  if (!impl_->Execute(doc, {SqlStep{&kBegin, {}}}, results) || !results[0].ok) {
    return Fail("cannot begin: " + doc.connectionError + (results.empty() ? "" : results[0].message),
                KelEdsServerFailure::kUnavailable);
  }
  // Answers stay where they are: queued jobs point at theirs.
  std::vector<JobAnswer> answers(static_cast<size_t>(ids.Size()));
  doc.batching = !allOrNothing;
  int failed = 0;
  for (int j = 1; j <= ids.Size(); ++j) {
    JobAnswer& answer = answers[static_cast<size_t>(j - 1)];
    if (allOrNothing && failed > 0) {
      answer.errorKey = "EDB_NotRun";
      continue;
    }
    impl_->RunJob(doc, document, ids[j], types[j], inputs[j], answer);
    if (answer.Failed()) ++failed;
    if (doc.brokenConnection) break;
  }
  impl_->Flush(doc);
  if (doc.brokenConnection) {
    return Fail("the database connection failed: " + doc.connectionError, KelEdsServerFailure::kLost);
  }
  failed = 0;
  for (const JobAnswer& answer : answers) failed += answer.Failed() ? 1 : 0;
  const bool rollBack = allOrNothing && failed > 0;
  if (!impl_->Execute(doc, {SqlStep{rollBack ? &kRollback : &kCommit, {}}}, results) || !results[0].ok) {
    // A refusal is an answer of the database; a broken connection leaves
    // the outcome of the commit unknown.
    const bool refused = !doc.brokenConnection;
    if (refused) impl_->Execute(doc, {SqlStep{&kRollback, {}}}, results);
    return Fail("the transaction did not commit: " + doc.connectionError + (results.empty() ? "" : results[0].message),
                refused || rollBack ? KelEdsServerFailure::kRefused : KelEdsServerFailure::kUncertain);
  }
  for (int j = 1; j <= ids.Size(); ++j) {
    JobAnswer& answer = answers[j - 1];
    if (rollBack && !answer.Failed()) {
      answer = JobAnswer();
      answer.errorKey = "EDB_RolledBack";
    }
    const KelUnicodeString& id = ids[j];
    for (const JobAnswer::Output& output : answer.outputs) {
      document.InsertJobOutput(id, output.name, output.value, output.type);
    }
    if (answer.rows.Size() > 0) document.InsertJobReportOutput(id, answer.rows);
    for (const JobAnswer::DeleteError& error : answer.deleteErrors) {
      document.InsertJobDeleteErrOutput(id, error.className, error.constraint, error.object);
    }
    if (answer.Failed()) document.InsertJobErrorMsg(id, answer.errorKey, kKelEdsServerMessageFile, &answer.errorParameters);
  }
  return S_OK;
}

long KelEdsServer::AnswerStream(const _SEQUENCE_octet* request, _SEQUENCE_octet** answer) {
  if (answer == nullptr || request == nullptr) return Fail("no request or no place for the answer");
  KelEdsXMLParser document;
  if (document.LoadStream(request, 0, nullptr) < 0) {
    return Fail("the request is not a well-formed job document", KelEdsServerFailure::kRequest);
  }
  const long answered = Answer(document);
  if (answered < 0) return answered;
  if (document.GenerateStream(answer) < 0) return Fail("the answer cannot be written");
  return S_OK;
}
