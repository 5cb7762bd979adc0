// edsutil job ...: build, inspect and validate job exchange documents, the
// XML documents in which the client and the database server pass jobs.
//
// Every writer loads the document, adds one thing through the library's
// writer and writes the whole document back (atomically for a file; to
// standard output when FILE is "-", so that the commands chain in a pipe).
// Writers only ever add: nothing is changed or removed.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "EdsutilCommands.h"
#include "EdsutilOutput.h"
#include "JobDocument.h"
#include "SchemaModel.h"
#include "XmlSupport.h"

namespace edsutil {
namespace {

constexpr const char* kFileHelp = "The job document; - reads standard input and writes the result to standard output";

struct JobOptions {
  std::string file;
  std::string id;
  std::string root = kJobsRoot;
  std::string version = "1.0";
  bool force = false;
  bool allowDuplicate = false;
  std::string type;                // job type (add), value type (input, output)
  std::string input;               // job input text (add)
  std::string name;                // input or output name; error key; class name
  std::string value;               // input or output value; error message file; constraint
  std::string object;              // delete-error object
  bool context = false;            // input: a context input
  std::vector<std::string> texts;  // report rows; error parameters; show ids
  std::string source;
  bool inputs = false;
  bool outputs = false;
  bool json = false;
  std::string dtdDir;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Refuses what the library would take silently and store wrongly.
void CheckTexts(std::initializer_list<std::pair<const char*, const std::string*>> texts) {
  for (const auto& [what, text] : texts) CheckXmlText(what, *text);
}

void CheckNotEmpty(const char* what, const std::string& text) {
  if (text.empty()) throw UsageError(std::string(what) + " must not be empty");
}

// Loads FILE, runs `change` on it (with the job checked to exist when `id`
// is given) and writes it back.
template <class Change>
void Modify(const JobOptions& options, const std::string* id, Change&& change) {
  JobDocument document;
  document.Load(options.file);
  if (id != nullptr) document.RequireJob(*id);
  LibraryLog log;
  if (change(document) < 0) {
    const std::string where = id != nullptr ? "job " + Quoted(*id) + " of " : "";
    throw Failure("the library could not write to " + where + document.Label() + log.LastAsNote());
  }
  document.Save(options.file);
}

void New(const JobOptions& options) {
  CheckTexts({{"--version", &options.version}});
  if (options.file != "-" && !options.force) {
    std::error_code ignored;
    if (std::filesystem::exists(options.file, ignored)) {
      throw Failure(Quoted(options.file) + " already exists (--force replaces it)");
    }
  }
  JobDocument document;
  document.Create(options.root, options.version);
  document.Save(options.file);
}

void Add(const JobOptions& options) {
  CheckNotEmpty("ID", options.id);
  CheckTexts({{"ID", &options.id}, {"TYPE", &options.type}, {"INPUT", &options.input}});
  JobDocument document;
  document.Load(options.file);
  if (!options.allowDuplicate && document.HasJob(options.id)) {
    throw Failure("job " + Quoted(options.id) + " is already in " + document.Label() +
                  " (--allow-duplicate adds a second one, which no job command can then reach)");
  }
  LibraryLog log;
  if (document.Parser().AppendJobDefinition(options.id, options.type, options.input) < 0) {
    throw Failure("the library could not append job " + Quoted(options.id) + log.LastAsNote());
  }
  document.Save(options.file);
}

void Input(const JobOptions& options) {
  CheckNotEmpty("NAME", options.name);
  CheckTexts({{"ID", &options.id}, {"NAME", &options.name}, {"VALUE", &options.value}, {"--type", &options.type}});
  Modify(options, &options.id, [&](JobDocument& document) {
    return options.context
               ? document.Parser().InsertJobContextInput(options.id, options.name, options.value, options.type)
               : document.Parser().InsertJobInput(options.id, options.name, options.value, options.type);
  });
}

void Output(const JobOptions& options) {
  CheckNotEmpty("NAME", options.name);
  CheckTexts({{"ID", &options.id}, {"NAME", &options.name}, {"VALUE", &options.value}, {"--type", &options.type}});
  Modify(options, &options.id, [&](JobDocument& document) {
    return document.Parser().InsertJobOutput(options.id, options.name, options.value, options.type);
  });
}

void Report(const JobOptions& options) {
  CheckTexts({{"ID", &options.id}});
  for (const std::string& row : options.texts) CheckXmlText("ROW", row);
  Modify(options, &options.id, [&](JobDocument& document) {
    return document.Parser().InsertJobReportOutput(options.id, ToList(options.texts));
  });
}

void Error(const JobOptions& options) {
  CheckNotEmpty("KEY", options.name);
  CheckTexts({{"ID", &options.id}, {"KEY", &options.name}, {"MSGFILE", &options.value}});
  for (const std::string& parameter : options.texts) {
    CheckXmlText("PARAM", parameter);
    // The parameters are stored joined with "@", unescaped.
    if (parameter.find('@') != std::string::npos) {
      throw UsageError("PARAM " + Quoted(parameter) + " holds '@', which joins the parameters in the document");
    }
  }
  Modify(options, &options.id, [&](JobDocument& document) {
    const KelListValKelUnicodeString parameters = ToList(options.texts);
    return document.Parser().InsertJobErrorMsg(options.id, options.name, options.value, &parameters);
  });
}

void DeleteError(const JobOptions& options) {
  CheckTexts(
      {{"ID", &options.id}, {"CLASS", &options.name}, {"CONSTRAINT", &options.value}, {"OBJECT", &options.object}});
  Modify(options, &options.id, [&](JobDocument& document) {
    return document.Parser().InsertJobDeleteErrOutput(options.id, options.name, options.value, options.object);
  });
}

void Copy(const JobOptions& options) {
  if (!options.inputs && !options.outputs) throw UsageError("say what to copy: --inputs, --outputs or both");
  if (options.file == "-" && options.source == "-") throw UsageError("only one of FILE and SOURCE may be -");
  JobDocument source;
  source.Load(options.source);
  const std::vector<std::string> ids = source.JobIds();
  if (ids.size() != 1) {
    throw Failure(source.Label() + " holds " + std::to_string(ids.size()) +
                  " jobs; copy takes its data from a document with exactly one");
  }
  const JobData job = source.ReadJob(ids.front());
  Modify(options, &job.id, [&](JobDocument& document) {
    long result = 0;
    // The library reports a copy with nothing in it as a failure; copying
    // nothing is fine here.
    if (options.inputs && !job.inputs.empty())
      result = document.Parser().InsertSingleJobInputFromParser(&source.Parser());
    if (result >= 0 && options.outputs && (!job.report.empty() || !job.outputs.empty())) {
      result = document.Parser().InsertSingleJobOutputFromParser(&source.Parser());
    }
    return result;
  });
}

void Show(const JobOptions& options) {
  JobDocument document;
  document.Load(options.file);
  JobDocumentContent content = document.Read();
  if (!options.texts.empty()) {
    std::vector<JobData> chosen;
    for (const std::string& id : options.texts) {
      document.RequireJob(id);
      chosen.push_back(document.ReadJob(id));
      for (const JobData& job : content.jobs) {
        if (job.id == id) {
          chosen.back().type = job.type;
          chosen.back().input = job.input;
          break;
        }
      }
    }
    content.jobs = std::move(chosen);
  }
  Emit(RenderJobs(content, options.json));
}

void Validate(const JobOptions& options) {
  const std::string bytes = ReadInput(options.file);
  const std::string directory = DtdDirectory(options.dtdDir, kJobsDtd);
  const std::string name = options.file == "-" ? "standard input" : Quoted(options.file);
  if (const auto problem = ValidateDocument(bytes, kJobsRoot, kJobsDtd, directory)) {
    throw Failure(name + " is not valid: " + problem->Describe());
  }
  Emit(name + " is valid against " + directory + "/" + kJobsDtd + "\n");
}

CLI::App* AddWriter(CLI::App& job, const char* name, const char* description, JobOptions& options) {
  CLI::App* command = job.add_subcommand(name, description);
  command->add_option("FILE", options.file, kFileHelp)->required();
  command->add_option("ID", options.id, "The job's id (EDB_Id), compared whole and case-sensitively")->required();
  return command;
}

}  // namespace

void AddJobCommands(CLI::App& app) {
  auto options = std::make_shared<JobOptions>();
  CLI::App* job = app.add_subcommand("job", "Build, show and validate job exchange documents");
  job->require_subcommand(1);
  job->footer(
      "A job document holds jobs (EDB_Job: id, type, input text), each with its inputs, context\n"
      "inputs, outputs, report rows, delete errors and errors. Writers add to FILE and write it back;\n"
      "with FILE - they read standard input and write standard output. A job is found by its id.");

  CLI::App* create = job->add_subcommand("new", "Write a new job document with no jobs");
  create->add_option("FILE", options->file, "The document to write; - writes standard output")->required();
  create->add_option("--root", options->root, "Tag of the root element (the DTD names Integration)")
      ->capture_default_str()
      ->type_name("TAG");
  create->add_option("--version", options->version, "The document's version attribute")
      ->capture_default_str()
      ->type_name("V");
  create->add_flag("--force", options->force, "Replace FILE when it exists");
  create->callback([options] { New(*options); });

  CLI::App* add = job->add_subcommand("add", "Append a job (AppendJobDefinition)");
  add->add_option("FILE", options->file, kFileHelp)->required();
  add->add_option("ID", options->id, "The new job's id")->required();
  add->add_option("TYPE", options->type, "The job type")->required();
  add->add_option("INPUT", options->input, "The job's input text (empty by default)");
  add->add_flag("--allow-duplicate", options->allowDuplicate, "Append even when a job has this id already");
  add->callback([options] { Add(*options); });

  CLI::App* input = AddWriter(*job, "input", "Add an input value to a job (InsertJobInput)", *options);
  input->add_option("NAME", options->name, "The attribute name")->required();
  input->add_option("VALUE", options->value, "The value (left out of the document when empty)");
  input->add_option("-t,--type", options->type, "The value's type (left out when empty)")->type_name("T");
  input->add_flag("--context", options->context, "A context input (InsertJobContextInput)");
  input->callback([options] { Input(*options); });

  CLI::App* output = AddWriter(*job, "output", "Add an output value to a job (InsertJobOutput)", *options);
  output->add_option("NAME", options->name, "The attribute name")->required();
  output->add_option("VALUE", options->value, "The value")->required();
  output->add_option("-t,--type", options->type, "The value's type")->type_name("T");
  output->callback([options] { Output(*options); });

  CLI::App* report = AddWriter(*job, "report", "Add report rows to a job (InsertJobReportOutput)", *options);
  report->add_option("ROW", options->texts, "One or more rows, in order")->required();
  report->callback([options] { Report(*options); });

  CLI::App* error = AddWriter(*job, "error", "Add an error to a job (InsertJobErrorMsg)", *options);
  error->add_option("KEY", options->name, "The message key")->required();
  error->add_option("MSGFILE", options->value, "The message file that holds the key")->required();
  error->add_option("PARAM", options->texts, "The message's parameters (stored joined with '@')");
  error->footer("show reports a job's first error; a parameter may not hold '@'.");
  error->callback([options] { Error(*options); });

  CLI::App* deleteError =
      AddWriter(*job, "delete-error", "Record a reference that kept an object from being deleted", *options);
  deleteError->add_option("CLASS", options->name, "The referencing class")->required();
  deleteError->add_option("CONSTRAINT", options->value, "The constraint (relationship) name")->required();
  deleteError->add_option("OBJECT", options->object, "The referencing object")->required();
  deleteError->callback([options] { DeleteError(*options); });

  CLI::App* copy = job->add_subcommand("copy", "Copy the data of a one-job document into the job of the same id");
  copy->add_option("FILE", options->file, kFileHelp)->required();
  copy->add_option("SOURCE", options->source, "A document with exactly one job; - reads standard input")->required();
  copy->add_flag("--inputs", options->inputs, "Copy its inputs (InsertSingleJobInputFromParser)");
  copy->add_flag("--outputs", options->outputs,
                 "Copy its report rows, then its outputs (InsertSingleJobOutputFromParser)");
  copy->footer("FILE must already hold a job with the source job's id. Context inputs and errors are not copied.");
  copy->callback([options] { Copy(*options); });

  CLI::App* show = job->add_subcommand("show", "Show the jobs with their inputs, outputs, report rows and first error");
  show->add_option("FILE", options->file, "The job document; - reads standard input")->required();
  show->add_option("ID", options->texts, "Show only these jobs");
  AddJsonFlag(*show, options->json);
  show->callback([options] { Show(*options); });

  CLI::App* validate = job->add_subcommand("validate", "Validate a job document against the shipped DTD");
  validate->add_option("FILE", options->file, "The job document; - reads standard input")->required();
  validate
      ->add_option("--dtd-dir", options->dtdDir,
                   "Directory of KelEdsJobs.dtd (default: the installed one, or the source tree's)")
      ->type_name("DIR");
  validate->footer(
      "The document is loaded as the server loads it (a validated LoadStream, KelDictionaryPath naming\n"
      "the DTD's directory). A document without DOCTYPE is validated as if it began with\n"
      "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\">; one that names another DTD is refused.");
  validate->callback([options] { Validate(*options); });
}

}  // namespace edsutil
