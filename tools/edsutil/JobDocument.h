// The job exchange document as edsutil handles it: a KelEdsXMLParser loaded
// from a file (LoadFile) or from standard input (LoadStream), read into plain
// records through the library's readers, and written back whole
// (GenerateFile, which replaces the file atomically, or GenerateStream to
// standard output for "-").
//
// A document read from standard input takes its first element as root, as a
// file does, so that one that opens with a DOCTYPE can still take new jobs.
//
// Ownership: a JobDocument owns its parser, and the parser its document;
// commands reach the library's readers and writers through Parser(). Failures
// are edsutil::Failure with one line naming the file. Threading: one thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "KelEdsXMLParser.h"

namespace edsutil {

struct JobValue {  // an input, a context input or an output
  std::string name;
  std::string value;
  std::string type;
};

struct JobReference {  // a reference whose deletion failed
  std::string className;
  std::string constraint;
  std::string object;
};

struct JobError {
  std::string key;
  std::string file;
  std::string type;
  std::string parameters;  // joined with "@", as stored
};

struct JobData {
  std::string id;
  std::string type;
  std::string input;
  std::vector<JobValue> inputs;
  std::vector<JobValue> contextInputs;
  std::vector<JobValue> outputs;
  std::vector<std::string> report;
  std::vector<JobReference> deleteErrors;
  std::optional<JobError> error;  // the first one
};

bool operator==(const JobValue& a, const JobValue& b);
bool operator==(const JobReference& a, const JobReference& b);
bool operator==(const JobError& a, const JobError& b);
inline bool operator!=(const JobValue& a, const JobValue& b) { return !(a == b); }
inline bool operator!=(const JobReference& a, const JobReference& b) { return !(a == b); }
inline bool operator!=(const JobError& a, const JobError& b) { return !(a == b); }

struct JobDocumentContent {
  std::string root;     // tag of the document element
  std::string version;  // its "version" attribute
  std::vector<JobData> jobs;
};

class JobDocument {
 public:
  KelEdsXMLParser& Parser() { return parser_; }
  const KelEdsXMLParser& Parser() const { return parser_; }

  // A new document: Init with the root tag and version.
  void Create(const std::string& rootTag, const std::string& version);
  // Loads `path`, "-" for standard input; `path` names the document in messages.
  void Load(const std::string& path);
  // Writes the whole document to `path`, "-" for standard output.
  void Save(const std::string& path);

  // The jobs in document order, with everything the readers give for them.
  JobDocumentContent Read() const;
  // One job read whole; the first job of that id.
  JobData ReadJob(const std::string& id) const;
  std::vector<std::string> JobIds() const;
  bool HasJob(const std::string& id) const;
  // A Failure "no job 'ID' in 'PATH'" unless the document holds the job.
  void RequireJob(const std::string& id) const;

  // How messages name the document: 'PATH', "standard input", or what
  // SetLabel gave for a document loaded otherwise.
  const std::string& Label() const { return label_; }
  void SetLabel(const std::string& label) { label_ = label; }

 private:
  KelEdsXMLParser parser_;
  std::string label_ = "the job document";
};

// The content as text (one block per job, an aligned table per kind of data)
// or as one JSON object.
std::string RenderJobs(const JobDocumentContent& content, bool json);

}  // namespace edsutil
