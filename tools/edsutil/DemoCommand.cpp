// edsutil demo: both roads of the library, end to end, into a directory.
//
// The road of a job: a client builds a request document (jobs, inputs and
// context inputs, some of them non-ASCII) and serialises it; a stand-in
// server loads those bytes with validation, answers each job with the help
// of the schema queries (outputs, report rows, delete errors, an error) and
// serialises its reply; the client reads the reply back, validated, and
// checks every value against what it sent and what the server wrote.
//
// The road of the schema: the SQL script that creates the database, a uuid
// file, and the metadata dictionary document drawn from it, validated
// against its DTD.
//
// Each file is announced on standard output once written and checked; the
// first step that fails ends the demo with exit status 1.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "EdsutilWork.h"
#include "JobDocument.h"
#include "KelEdsMetadataTool.h"
#include "SchemaModel.h"
#include "UuidFile.h"
#include "XmlSupport.h"

namespace edsutil {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultDirectory = "edsutil-demo";
// How the stand-in server names its messages.
constexpr const char* kServerMessages = "KelEdsServerMessages";

struct DemoOptions {
  std::string directory;
  std::string dtdDir;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// "1 output", "3 outputs".
std::string Count(std::size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

void Check(long result, const std::string& step) {
  if (result < 0) throw Failure(step + " failed");
}

std::string Bytes(const _SEQUENCE_octet* sequence) {
  return sequence == nullptr ? std::string()
                             : std::string(reinterpret_cast<const char*>(sequence->_buffer), sequence->_length);
}

std::string Serialise(KelEdsXMLParser& document, const std::string& what) {
  _SEQUENCE_octet* sequence = nullptr;
  const long result = document.GenerateStream(&sequence);
  const std::string bytes = Bytes(sequence);
  delete sequence;
  Check(result, "serialising " + what);
  return bytes;
}

// The client's request: the jobs with what they take.
struct RequestedJob {
  std::string id;
  std::string type;
  std::string className;  // the job's input text: the class it works on
  std::vector<JobValue> inputs;
  std::vector<JobValue> contextInputs;
};

std::vector<RequestedJob> Request(const std::string& workPackage, const std::string& cableReference) {
  return {
      {"JOB-1",
       "Insert",
       "xq40718.Cable_Instance",
       {{"Cable_name", "Câble de puissance 3×35 mm² — baie Ø2", "String"},
        {"Cable_reference_key", cableReference, "Uuid"},
        {"Maximum_length", "42.5", "Double"}},
       {{"Work_package_key", workPackage, "Uuid"}}},
      {"JOB-2",
       "Insert",
       "xq40718.Equipment",
       {{"Equipment_name", "Armoire électrique Ω-12 (Zürich)", "String"}, {"Cable_extra_length", "1.5", "Double"}},
       {}},
      {"JOB-3", "Delete", "xq40718.Work_Package", {{"Work_package_key", workPackage, "Uuid"}}, {}},
  };
}

// A stand-in for the database server: it keeps the objects it inserted and
// refuses to delete an object that one of them references.
class Server {
 public:
  explicit Server(std::string dtdDirectory) : dtdDirectory_(std::move(dtdDirectory)) {}

  // Loads the request as the server receives it (bytes, validated), answers
  // every job into the same document and returns the serialised reply.
  std::string Answer(const std::string& request) {
    KelEdsXMLParser document;
    {
      const ScopedEnvironment searchPath(kDtdPathVariable, dtdDirectory_);
      const _SEQUENCE_octet bytes(request.size(), reinterpret_cast<const unsigned char*>(request.data()));
      if (document.LoadStream(&bytes, 1, kJobsDtd) < 0) {
        throw Failure("the server's validated load of the request failed: " + LastProblem(document).Describe());
      }
    }
    KelListValKelUnicodeString ids, types, classes;
    Check(document.GetJobDefinition(ids, types, classes), "the server's GetJobDefinition");
    for (int k = 1; k <= ids.Size(); ++k) {
      const KelUnicodeString id = ids[k];
      KelListValKelUnicodeString names, values, valueTypes;
      Check(document.GetJobInput(id, names, values, valueTypes), "the server's GetJobInput");
      Check(document.GetJobContextInput(id, names, values, valueTypes), "the server's GetJobContextInput");
      std::map<std::string, std::string> given;
      for (int n = 1; n <= names.Size() && n <= values.Size(); ++n) given[names[n].ToUTF8()] = values[n].ToUTF8();
      JobData& answer = answers_[id.ToUTF8()];
      if (types[k].ToUTF8() == "Insert") {
        Insert(document, id, classes[k].ToUTF8(), names, given, answer);
      } else {
        Delete(document, id, classes[k].ToUTF8(), given, answer);
      }
    }
    return Serialise(document, "the reply");
  }

  // What the server wrote for each job.
  const std::map<std::string, JobData>& Answers() const { return answers_; }

 private:
  struct StoredObject {
    std::string className;  // neutral
    std::string key;
    std::map<std::string, std::string> values;
  };

  void Insert(KelEdsXMLParser& document, const KelUnicodeString& id, const std::string& className,
              const KelListValKelUnicodeString& names, const std::map<std::string, std::string>& given,
              JobData& answer) {
    const KelUnicodeString neutral(className);
    KelListValKelUnicodeString missing;
    tool_.FindMissingMandateAttr(neutral, names, missing);
    const std::string tessel = tool_.TranslateClassToTessel(neutral).ToUTF8();
    if (missing.Size() > 0) {
      std::vector<std::string> parameters{tessel};
      for (const std::string& name : ToStrings(missing)) parameters.push_back(name);
      const KelListValKelUnicodeString list = ToList(parameters);
      Check(document.InsertJobErrorMsg(id, "EdbMissingMandatoryAttributes", kServerMessages, &list),
            "the server's InsertJobErrorMsg");
      std::string joined;
      for (const std::string& p : parameters) joined += (joined.empty() ? "" : "@") + p;
      answer.error = JobError{"EdbMissingMandatoryAttributes", kServerMessages, "", joined};
      return;
    }
    const std::string primaryKey = tool_.GetPrimaryKey(neutral).ToUTF8();
    StoredObject object{className, NewUuid(), given};
    object.values[primaryKey] = object.key;
    store_.push_back(object);
    Check(document.InsertJobOutput(id, primaryKey, object.key, "Uuid"), "the server's InsertJobOutput");
    answer.outputs.push_back({primaryKey, object.key, "Uuid"});
    answer.report = {"Inserted one " + tessel + ".",
                     std::to_string(given.size()) + " values given, every mandatory attribute among them."};
    Check(document.InsertJobReportOutput(id, ToList(answer.report)), "the server's InsertJobReportOutput");
  }

  void Delete(KelEdsXMLParser& document, const KelUnicodeString& id, const std::string& className,
              const std::map<std::string, std::string>& given, JobData& answer) {
    const KelUnicodeString neutral(className);
    const std::string primaryKey = tool_.GetPrimaryKey(neutral).ToUTF8();
    const auto key = given.find(primaryKey);
    const std::string target = key != given.end() ? key->second : "";
    // The foreign keys that name the class, and the attribute each one uses.
    KelListValKelUnicodeString classes, relationships;
    Check(tool_.GetReferencingClasses(tool_.TranslateClassToTessel(neutral), KelListValKelUnicodeString(), classes,
                                      relationships),
          "GetReferencingClasses");
    for (int k = 1; k <= classes.Size() && k <= relationships.Size(); ++k) {
      KelListValKelUnicodeString names, attributes, targets;
      Check(tool_.GetRelationship(classes[k], names, attributes, targets), "GetRelationship");
      const int at = names.Locate(relationships[k]);
      if (at < 1 || at > attributes.Size()) continue;
      const std::string attribute = attributes[at].ToUTF8();
      for (const StoredObject& object : store_) {
        const auto value = object.values.find(attribute);
        if (object.className != classes[k].ToUTF8() || value == object.values.end() || value->second != target) {
          continue;
        }
        const JobReference reference{object.className, relationships[k].ToUTF8(), object.key};
        Check(document.InsertJobDeleteErrOutput(id, reference.className, reference.constraint, reference.object),
              "the server's InsertJobDeleteErrOutput");
        answer.deleteErrors.push_back(reference);
      }
    }
    const std::string tessel = tool_.TranslateClassToTessel(neutral).ToUTF8();
    answer.report = {answer.deleteErrors.empty()
                         ? "Deleted " + tessel + " " + target + "."
                         : tessel + " " + target + " is still referenced (" +
                               Count(answer.deleteErrors.size(), "reference") + "): not deleted."};
    Check(document.InsertJobReportOutput(id, ToList(answer.report)), "the server's InsertJobReportOutput");
  }

  std::string dtdDirectory_;
  KelEdsMetadataTool tool_;
  std::vector<StoredObject> store_;
  std::map<std::string, JobData> answers_;
};

class Demo {
 public:
  Demo(std::string directory, std::string dtdDirectory)
      : directory_(std::move(directory)), dtdDirectory_(std::move(dtdDirectory)) {}

  void Run() {
    Emit("edsutil demo: the road of a job and the road of the schema, in " + directory_ + "/\n");
    RoadOfAJob();
    RoadOfTheSchema();
    Emit("Every step succeeded. request.xml and reply.xml loaded validated against " + std::string(kJobsDtd) +
         ",\nevery value of the reply was read back and checked, and metadata.xml is valid against " + kDictionaryDtd +
         ".\n");
  }

 private:
  std::string Path(const std::string& name) const { return (fs::path(directory_) / name).string(); }

  void Write(const std::string& name, const std::string& bytes) { EmitTo(Path(name), bytes); }

  void Announce(const std::string& name, const std::string& what) {
    std::error_code error;
    const auto size = fs::file_size(Path(name), error);
    if (error) throw Failure("cannot find " + Quoted(Path(name)) + " after writing it");
    char line[128];
    std::snprintf(line, sizeof line, "  %-13s %7llu bytes  ", name.c_str(), static_cast<unsigned long long>(size));
    Emit(line + what + "\n");
  }

  void RoadOfAJob() {
    const std::vector<RequestedJob> jobs = Request(NewUuid(), NewUuid());

    // The client builds and serialises the request. The DOCTYPE line lets the
    // server validate it; Init does not write one.
    KelEdsXMLParser client;
    Check(client.Init(kJobsRoot, "1.0"), "Init of the request");
    int inputs = 0, contextInputs = 0;
    for (const RequestedJob& job : jobs) {
      Check(client.AppendJobDefinition(job.id, job.type, job.className), "AppendJobDefinition " + job.id);
      for (const JobValue& v : job.inputs) {
        Check(client.InsertJobInput(job.id, v.name, v.value, v.type), "InsertJobInput " + job.id);
        ++inputs;
      }
      for (const JobValue& v : job.contextInputs) {
        Check(client.InsertJobContextInput(job.id, v.name, v.value, v.type), "InsertJobContextInput " + job.id);
        ++contextInputs;
      }
    }
    const std::string request = WithDocumentType(Serialise(client, "the request"), kJobsRoot, kJobsDtd);
    Write("request.xml", request);

    Server server(dtdDirectory_);
    const std::string reply = server.Answer(request);
    Announce("request.xml", "client's request: " + Count(jobs.size(), "job") + ", " + Count(inputs, "input") + ", " +
                                Count(contextInputs, "context input") + " (non-ASCII included)");
    Write("reply.xml", reply);

    // The client reads the reply back as it would receive it and checks it.
    JobDocument answer;
    answer.SetLabel("reply.xml");
    {
      const ScopedEnvironment searchPath(kDtdPathVariable, dtdDirectory_);
      const _SEQUENCE_octet bytes(reply.size(), reinterpret_cast<const unsigned char*>(reply.data()));
      if (answer.Parser().LoadStream(&bytes, 1, kJobsDtd) < 0) {
        throw Failure("reply.xml does not load validated: " + LastProblem(answer.Parser()).Describe());
      }
    }
    const JobDocumentContent content = answer.Read();
    if (content.jobs.size() != jobs.size()) throw Failure("reply.xml: the jobs differ from the request's");
    std::size_t outputs = 0, rows = 0, deleteErrors = 0, errors = 0;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
      const RequestedJob& sent = jobs[k];
      const JobData& got = content.jobs[k];
      const JobData& expected = server.Answers().at(sent.id);
      const auto differs = [&](const char* what) {
        return Failure("reply.xml: job " + Quoted(sent.id) + ": the " + what + " differ from what was written");
      };
      if (got.id != sent.id || got.type != sent.type || got.input != sent.className) throw differs("definitions");
      if (got.inputs != sent.inputs || got.contextInputs != sent.contextInputs) throw differs("inputs");
      if (got.outputs != expected.outputs) throw differs("outputs");
      if (got.report != expected.report) throw differs("report rows");
      if (got.deleteErrors != expected.deleteErrors) throw differs("delete errors");
      if (got.error != expected.error) throw differs("errors");
      outputs += got.outputs.size();
      rows += got.report.size();
      deleteErrors += got.deleteErrors.size();
      errors += got.error ? 1 : 0;
    }
    Announce("reply.xml", "server's reply: " + Count(outputs, "output") + ", " + Count(rows, "report row") + ", " +
                              Count(deleteErrors, "delete error") + ", " + Count(errors, "error"));
  }

  void RoadOfTheSchema() {
    const std::string sql = SqlText(true);
    Write("schema.sql", sql);
    std::size_t tables = 0, statements = 0;
    for (std::size_t at = 0; at < sql.size();) {
      const std::size_t end = sql.find('\n', at);
      const std::string line = sql.substr(at, end - at);
      tables += line.rfind("CREATE TABLE", 0) == 0 ? 1 : 0;
      statements += line.rfind("CREATE TABLE", 0) == 0 || line.rfind("ALTER TABLE", 0) == 0 ? 1 : 0;
      at = end == std::string::npos ? sql.size() : end + 1;
    }
    Announce("schema.sql", "SQL script: " + Count(statements, "statement") + " creating " + Count(tables, "table"));

    const int count = UuidsForEveryItem();
    Write("uuids.txt", UuidFileText(count));
    Announce("uuids.txt", "uuid file: " + Count(static_cast<std::size_t>(count), "fresh uuid"));

    // The package and one class keep uuids fixed by name; the rest come from
    // the file.
    MetadataRequest request;
    request.uuidFile = Path("uuids.txt");
    request.out = Path("metadata.xml");
    request.fixes = {{"CableNetwork", DocumentUuid(NewUuid())}, {"Work_Package", DocumentUuid(NewUuid())}};
    const MetadataOutcome outcome = GenerateMetadata(request);
    if (!outcome.unusedFixes.empty())
      throw Failure("metadata.xml: the fixed uuid of " + outcome.unusedFixes[0] + " is missing");
    const std::string document = ReadInput(request.out);
    if (const auto problem = ValidateDocument(document, kDictionaryRoot, kDictionaryDtd, dtdDirectory_)) {
      throw Failure("metadata.xml is not valid against " + std::string(kDictionaryDtd) + ": " + problem->Describe());
    }
    const int uuids = CheckUuids(document);
    if (uuids != outcome.uuidsUsed) {
      throw Failure("metadata.xml carries " + std::to_string(uuids) + " uuids; the library gave out " +
                    std::to_string(outcome.uuidsUsed));
    }
    Announce("metadata.xml", "metadata dictionary: " + std::to_string(outcome.classes) + " classes, " +
                                 std::to_string(uuids) + " uuids (2 fixed by name)");
  }

  // Every item's uuid is there and none is given twice; returns how many.
  static int CheckUuids(const std::string& document) {
    KelEdsXMLParser parser;
    const _SEQUENCE_octet bytes(document.size(), reinterpret_cast<const unsigned char*>(document.data()));
    KelIDOMNodeList* found = nullptr;
    const long loaded = parser.LoadStream(&bytes, 0, nullptr);
    const long listed = loaded < 0 ? loaded : parser.GetDOMElemByTagName("*", &found);
    const KelIDOMNodeList_var all = KelIDOMNodeList_var::Adopt(found);
    unsigned int length = 0;
    if (listed < 0 || all.isNull() || all->getLength(length) < 0) throw Failure("metadata.xml cannot be read back");
    std::set<std::string> seen;
    for (unsigned int i = 0; i < length; ++i) {
      KelIDOMNode_var node;
      all->item(i, node);
      const KelIDOMElement_var element = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
      KelUnicodeString tag, uuid;
      if (element.isNull()) continue;
      element->getTagName(tag);
      element->getAttribute("Uuid", uuid);
      if (uuid.ToUTF8().empty() || !seen.insert(uuid.ToUTF8()).second) {
        throw Failure("metadata.xml: a " + tag.ToUTF8() + " element has an empty or repeated uuid");
      }
    }
    return static_cast<int>(seen.size());
  }

  std::string directory_;
  std::string dtdDirectory_;
};

// The directory to write into: DIR, new or empty, or the first free
// edsutil-demo[-N] of the working directory.
std::string PrepareDirectory(const std::string& requested) {
  std::error_code error;
  std::string directory = requested;
  if (directory.empty()) {
    directory = kDefaultDirectory;
    for (int n = 2; fs::exists(directory, error) && n <= 1000; ++n) {
      directory = std::string(kDefaultDirectory) + "-" + std::to_string(n);
    }
  }
  if (fs::exists(directory, error)) {
    if (!fs::is_directory(directory, error)) throw Failure(Quoted(directory) + " exists and is not a directory");
    if (!fs::is_empty(directory, error)) {
      throw Failure(Quoted(directory) + " is not empty: the demo writes into a new or empty directory");
    }
    return directory;
  }
  if (!fs::create_directories(directory, error) || error) {
    throw Failure("cannot make the directory " + Quoted(directory) + ": " + error.message());
  }
  return directory;
}

}  // namespace

void AddDemoCommand(CLI::App& app) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* demo = app.add_subcommand("demo", "Walk a job and the schema through the library, writing every file");
  demo->add_option("DIR", options->directory,
                   "A new or empty directory for the files (default: a new ./edsutil-demo[-N])");
  demo->add_option("--dtd-dir", options->dtdDir,
                   "Directory of KelEdsJobs.dtd and Dictionary00.dtd (default: the installed ones)")
      ->type_name("DIR");
  demo->footer(
      "Writes request.xml (a client's job request), reply.xml (a stand-in server's answer, read back\n"
      "and checked), schema.sql (as 'sql --script'), uuids.txt and metadata.xml (the metadata dictionary\n"
      "document, validated). One line per file on standard output; exit status 0 only if every step\n"
      "succeeded.");
  demo->callback([options] {
    const std::string dtdDirectory = DtdDirectory(options->dtdDir, kJobsDtd);
    DtdDirectory(dtdDirectory, kDictionaryDtd);
    Demo(PrepareDirectory(options->directory), dtdDirectory).Run();
  });
}

}  // namespace edsutil
