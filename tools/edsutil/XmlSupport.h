// What the XML commands of edsutil (job, metadata, demo) share: reading a file
// or standard input whole, the directory of the shipped DTDs, validation of a
// document's bytes against one of them through the library's validated load,
// the check that a text can travel in an XML attribute, scratch directories,
// and the capture of what the library prints or logs.
//
// Failures are edsutil::Failure (exit 1) and UsageError (exit 2) with one line
// that names the file or the argument.
//
// Threading: the tool is single-threaded. ValidateDocument sets the process's
// "KelDictionaryPath" for the duration of the load, and the captures redirect
// the process's standard output or log sink: nothing here is for threads.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "KelEdsDomParser.h"

namespace edsutil {

// The DTD of the job exchange document, and its root element.
constexpr const char* kJobsDtd = "KelEdsJobs.dtd";
constexpr const char* kJobsRoot = "Integration";
// The DTD of the metadata dictionary document, and its root element.
constexpr const char* kDictionaryDtd = "Dictionary00.dtd";
constexpr const char* kDictionaryRoot = "Package";

// All the bytes of the file, or of standard input for "-"; a Failure names the
// file (or "standard input") and the reason.
std::string ReadInput(const std::string& path);
// Writes `bytes` to standard output for "-", otherwise to the file (replacing it).
void WriteOutput(const std::string& path, const std::string& bytes);

// The directory that holds `dtdName`: `requested` when it is not empty;
// otherwise share/KelEdsUtil/dtd of the installation that holds this
// executable, then the dtd/ directory of the source tree it was built from.
// A Failure when the DTD is not in the chosen directory.
std::string DtdDirectory(const std::string& requested, const char* dtdName);

// Where the parser stopped: 0 for a line or column that does not apply.
struct XmlProblem {
  std::string message;
  int line = 0;
  int column = 0;
  // "line L, column C: message", or the bare message.
  std::string Describe() const;
};

// The last problem the parser of `parser` reported, with its position.
XmlProblem LastProblem(const KelEdsDomParser& parser);

// Validates the document `bytes` against `dtdName` from `dtdDirectory` with a
// validated LoadStream, KelDictionaryPath naming that directory. A document
// without a document type is given "<!DOCTYPE root SYSTEM dtdName>" first
// (its positions are reported as in the original); one that names another
// system identifier is refused, because its DTD would be looked for beside
// the working directory instead. Returns the first problem, or nothing when
// the document is valid.
std::optional<XmlProblem> ValidateDocument(const std::string& bytes, const char* rootName, const char* dtdName,
                                           const std::string& dtdDirectory);

// `bytes` with "<!DOCTYPE root SYSTEM dtdName>" put right after the XML
// declaration (or at the start, after a byte-order mark, when there is none),
// on the same line so that later lines keep their numbers. `offset` receives
// where it went (bytes from the start of its line) and `line` its line.
std::string WithDocumentType(const std::string& bytes, const char* rootName, const char* dtdName,
                             std::size_t* offset = nullptr, int* line = nullptr);

// A UsageError unless `text` is well-formed UTF-8 made only of characters that
// an XML attribute can carry (the library would quietly leave the attribute
// out). `what` names the argument in the message.
void CheckXmlText(const std::string& what, const std::string& text);

// The variable along which a validated LoadStream looks for the DTD it names.
constexpr const char* kDtdPathVariable = "KelDictionaryPath";

// Sets an environment variable while the object lives, then puts the old
// value (or its absence) back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A directory of its own under the temporary directory, removed with
// everything in it when the object goes.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sends what is written to standard output (file descriptor 1, C and C++
// streams alike) into a temporary file while the object lives; Finish (or the
// destructor) puts standard output back. For library calls that print.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Restores standard output and returns what was printed meanwhile.
  std::string Finish();

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// Keeps the library's KelSysLogAbend messages (which would otherwise reach
// standard error between edsutil's own lines) while the object lives.
class LibraryLog {
 public:
  LibraryLog();
  ~LibraryLog();
  LibraryLog(const LibraryLog&) = delete;
  LibraryLog& operator=(const LibraryLog&) = delete;
  // " (library: <last message>)", or "" when there was none.
  std::string LastAsNote() const;

 private:
  static void Sink(const char* message, void* self);
  std::vector<std::string> messages_;
  void* previousContext_ = nullptr;
  void (*previous_)(const char*, void*) = nullptr;
};

}  // namespace edsutil
