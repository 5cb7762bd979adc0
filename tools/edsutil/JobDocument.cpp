#include "JobDocument.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "EdsutilOutput.h"
#include "KelError.h"
#include "SchemaModel.h"
#include "XmlSupport.h"

namespace edsutil {
namespace {

std::vector<JobValue> Values(const KelListValKelUnicodeString& names, const KelListValKelUnicodeString& values,
                             const KelListValKelUnicodeString& types) {
  std::vector<JobValue> rows;
  for (int k = 1; k <= names.Size() && k <= values.Size() && k <= types.Size(); ++k) {
    rows.push_back({names[k].ToUTF8(), values[k].ToUTF8(), types[k].ToUTF8()});
  }
  return rows;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string Indented(const std::string& text, const std::string& margin) {
  std::string out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) out += margin + line + "\n";
  return out;
}

std::string ValueTable(const std::vector<JobValue>& rows) {
  Table table({{"NAME", "name"}, {"VALUE", "value"}, {"TYPE", "type"}});
  for (const JobValue& row : rows) table.AddRow({row.name, row.value, row.type});
  return table.Render(false);
}

std::string JsonValues(const std::vector<JobValue>& rows) {
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out += (i == 0 ? "{" : ", {") + std::string("\"name\": ") + JsonString(rows[i].name) +
           ", \"value\": " + JsonString(rows[i].value) + ", \"type\": " + JsonString(rows[i].type) + "}";
  }
  return out + "]";
}

std::string JobText(const JobData& job) {
  std::string out = "Job " + Quoted(job.id) + ": type " + Quoted(job.type) + ", input " + Quoted(job.input) + "\n";
  const std::string margin = "    ";
  const std::pair<const char*, const std::vector<JobValue>*> values[] = {
      {"inputs", &job.inputs}, {"context inputs", &job.contextInputs}, {"outputs", &job.outputs}};
  for (const auto& [title, rows] : values) {
    if (!rows->empty()) out += "  " + std::string(title) + ":\n" + Indented(ValueTable(*rows), margin);
  }
  if (!job.report.empty()) {
    out += "  report:\n";
    for (const std::string& row : job.report) out += margin + row + "\n";
  }
  if (!job.deleteErrors.empty()) {
    Table table({{"CLASS", "class"}, {"CONSTRAINT", "constraint"}, {"OBJECT", "object"}});
    for (const JobReference& ref : job.deleteErrors) table.AddRow({ref.className, ref.constraint, ref.object});
    out += "  delete errors:\n" + Indented(table.Render(false), margin);
  }
  if (job.error) {
    out += "  error: key " + Quoted(job.error->key) + ", file " + Quoted(job.error->file) + ", parameters " +
           Quoted(job.error->parameters) + (job.error->type.empty() ? "" : ", type " + Quoted(job.error->type)) + "\n";
  }
  const bool empty = job.inputs.empty() && job.contextInputs.empty() && job.outputs.empty() && job.report.empty() &&
                     job.deleteErrors.empty() && !job.error;
  return empty ? out + "  (no data)\n" : out;
}

std::string JobJson(const JobData& job) {
  std::string out = "{\"id\": " + JsonString(job.id) + ", \"type\": " + JsonString(job.type) +
                    ", \"input\": " + JsonString(job.input) + ",\n   \"inputs\": " + JsonValues(job.inputs) +
                    ",\n   \"contextInputs\": " + JsonValues(job.contextInputs) +
                    ",\n   \"outputs\": " + JsonValues(job.outputs) + ",\n   \"report\": [";
  for (std::size_t i = 0; i < job.report.size(); ++i) out += (i == 0 ? "" : ", ") + JsonString(job.report[i]);
  out += "],\n   \"deleteErrors\": [";
  for (std::size_t i = 0; i < job.deleteErrors.size(); ++i) {
    const JobReference& ref = job.deleteErrors[i];
    out += (i == 0 ? "{" : ", {") + std::string("\"class\": ") + JsonString(ref.className) +
           ", \"constraint\": " + JsonString(ref.constraint) + ", \"object\": " + JsonString(ref.object) + "}";
  }
  out += "],\n   \"error\": ";
  if (job.error) {
    out += "{\"key\": " + JsonString(job.error->key) + ", \"file\": " + JsonString(job.error->file) +
           ", \"type\": " + JsonString(job.error->type) + ", \"parameters\": " + JsonString(job.error->parameters) +
           "}";
  } else {
    out += "null";
  }
  return out + "}";
}

}  // namespace

bool operator==(const JobValue& a, const JobValue& b) {
  return a.name == b.name && a.value == b.value && a.type == b.type;
}
bool operator==(const JobReference& a, const JobReference& b) {
  return a.className == b.className && a.constraint == b.constraint && a.object == b.object;
}
bool operator==(const JobError& a, const JobError& b) {
  return a.key == b.key && a.file == b.file && a.type == b.type && a.parameters == b.parameters;
}

void JobDocument::Create(const std::string& rootTag, const std::string& version) {
  LibraryLog log;
  long made = E_FAIL;
  try {
    made = parser_.Init(KelUnicodeString(rootTag), KelUnicodeString(version));
  } catch (const KelError::ThrowSmartPtr&) {
    // A tag the DOM refuses leaves no root, and Init raises through it.
  }
  if (made < 0 || parser_.GetRoot().isNull()) {
    throw Failure("cannot make a document whose root is " + Quoted(rootTag) + ": it must be an XML name" +
                  log.LastAsNote());
  }
}

void JobDocument::Load(const std::string& path) {
  label_ = path == "-" ? "standard input" : Quoted(path);
  LibraryLog log;
  long loaded = 0;
  if (path == "-") {
    const std::string bytes = ReadInput(path);
    if (bytes.empty()) throw Failure("standard input is empty: it holds no job document");
    const _SEQUENCE_octet sequence(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data()));
    loaded = parser_.LoadStream(&sequence, 0, nullptr);
    // A document that opens with its DOCTYPE loads without root; take its
    // first element, as LoadFile does, so that jobs can still be appended.
    if (loaded >= 0) loaded = parser_.SetAppropriateRoot();
  } else {
    ReadInput(path);  // a clear message for a missing or unreadable file
    loaded = parser_.LoadFile(KelUnicodeString(path), 0);
  }
  if (loaded < 0) throw Failure(label_ + " is not a well-formed XML document: " + LastProblem(parser_).Describe());
}

void JobDocument::Save(const std::string& path) {
  LibraryLog log;
  if (path == "-") {
    _SEQUENCE_octet* bytes = nullptr;
    const long written = parser_.GenerateStream(&bytes);
    if (written < 0 || bytes == nullptr) {
      delete bytes;
      throw Failure("cannot write the job document to standard output" + log.LastAsNote());
    }
    const std::string text(reinterpret_cast<const char*>(bytes->_buffer), bytes->_length);
    delete bytes;
    Emit(text);
    return;
  }
  if (parser_.GenerateFile(KelUnicodeString(path)) < 0) {
    // The builder's message may name the file itself.
    std::string reason = LastProblem(parser_).Describe();
    const std::string named = "cannot write \"" + path + "\": ";
    if (reason.rfind(named, 0) == 0) reason.erase(0, named.size());
    throw Failure("cannot write '" + path + "': " + reason);
  }
}

std::vector<std::string> JobDocument::JobIds() const {
  KelListValKelUnicodeString ids, types, inputs;
  if (parser_.GetJobDefinition(ids, types, inputs) < 0) throw Failure("cannot list the jobs of " + label_);
  return ToStrings(ids);
}

bool JobDocument::HasJob(const std::string& id) const {
  const std::vector<std::string> ids = JobIds();
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

void JobDocument::RequireJob(const std::string& id) const {
  if (!HasJob(id)) throw Failure("no job " + Quoted(id) + " in " + label_ + " (see 'edsutil job show')");
}

JobData JobDocument::ReadJob(const std::string& id) const {
  JobData job;
  job.id = id;
  const KelUnicodeString key(id);
  KelListValKelUnicodeString names, values, types, contextNames, contextValues, contextTypes, outNames, outValues,
      outTypes, classes, constraints, objects, rows;
  if (parser_.GetJobInput(key, names, values, types) < 0 ||
      parser_.GetJobContextInput(key, contextNames, contextValues, contextTypes) < 0 ||
      parser_.GetJobOutput(key, outNames, outValues, outTypes) < 0 ||
      parser_.GetJobDeleteErrOutput(key, classes, constraints, objects) < 0 ||
      parser_.GetJobReportOutput(key, rows) < 0) {
    throw Failure("cannot read job " + Quoted(id) + " of " + label_);
  }
  job.inputs = Values(names, values, types);
  job.contextInputs = Values(contextNames, contextValues, contextTypes);
  job.outputs = Values(outNames, outValues, outTypes);
  job.report = ToStrings(rows);
  for (int k = 1; k <= classes.Size() && k <= constraints.Size() && k <= objects.Size(); ++k) {
    job.deleteErrors.push_back({classes[k].ToUTF8(), constraints[k].ToUTF8(), objects[k].ToUTF8()});
  }
  // GetJobError fails for a job without error: that is the usual case.
  KelUnicodeString errorKey, errorFile, errorType, parameters;
  if (parser_.GetJobError(key, errorKey, errorFile, errorType, parameters) >= 0) {
    job.error = JobError{errorKey.ToUTF8(), errorFile.ToUTF8(), errorType.ToUTF8(), parameters.ToUTF8()};
  }
  return job;
}

JobDocumentContent JobDocument::Read() const {
  JobDocumentContent content;
  const KelIDOMDocument_var document = parser_.GetDocument();
  KelIDOMElement_var root;
  if (!document.isNull() && document->getDocumentElement(root) >= 0 && !root.isNull()) {
    KelUnicodeString tag, version;
    root->getTagName(tag);
    root->getAttribute(KelUnicodeString("version"), version);
    content.root = tag.ToUTF8();
    content.version = version.ToUTF8();
  }
  KelListValKelUnicodeString ids, types, inputs;
  if (parser_.GetJobDefinition(ids, types, inputs) < 0) throw Failure("cannot list the jobs of " + label_);
  for (int k = 1; k <= ids.Size() && k <= types.Size() && k <= inputs.Size(); ++k) {
    // Readers find the first job of an id; a repeated id shows that job again.
    JobData job = ReadJob(ids[k].ToUTF8());
    job.type = types[k].ToUTF8();
    job.input = inputs[k].ToUTF8();
    content.jobs.push_back(std::move(job));
  }
  return content;
}

std::string RenderJobs(const JobDocumentContent& content, bool json) {
  if (json) {
    std::string out =
        "{\"root\": " + JsonString(content.root) + ", \"version\": " + JsonString(content.version) + ", \"jobs\": [";
    for (std::size_t i = 0; i < content.jobs.size(); ++i) out += (i == 0 ? "\n  " : ",\n  ") + JobJson(content.jobs[i]);
    return out + (content.jobs.empty() ? "]}\n" : "\n]}\n");
  }
  const std::size_t count = content.jobs.size();
  std::string out = content.root + " (version " + Quoted(content.version) + "): " + std::to_string(count) +
                    (count == 1 ? " job\n" : " jobs\n");
  for (const JobData& job : content.jobs) out += "\n" + JobText(job);
  return out;
}

}  // namespace edsutil
