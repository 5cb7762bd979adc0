#include "XmlSupport.h"


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "EdsutilOutput.h"
#include "EdsutilSystem.h"
#include "KelEnvironment.h"
#include "KelSysLog.h"

namespace edsutil {
namespace {

namespace fs = std::filesystem;

std::string Reason() { return std::strerror(errno); }

bool IsFile(const std::string& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

long LoadBytes(KelEdsDomParser& parser, const std::string& bytes, unsigned char validate, const char* dtdName) {
  const _SEQUENCE_octet sequence(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data()));
  return parser.LoadStream(&sequence, validate, dtdName);
}

// The next code point of well-formed UTF-8 at `i` (advanced past it), or -1.
long NextCodePoint(const std::string& text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  int length = 0;
  long value = 0, minimum = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return -1;
  }
  if (i + length > text.size()) return -1;
  for (int k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return -1;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  i += length;
  return value;
}

bool IsXmlCharacter(long c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

std::string ReadInput(const std::string& path) {
  if (path == "-") {
    std::string bytes{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad()) throw Failure("cannot read standard input");
    return bytes;
  }
  std::error_code error;
  if (fs::is_directory(path, error)) throw Failure("cannot read '" + path + "': it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot read '" + path + "': " + Reason());
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw Failure("cannot read '" + path + "': " + Reason());
  return bytes;
}

void WriteOutput(const std::string& path, const std::string& bytes) { EmitTo(path == "-" ? "" : path, bytes); }

std::string DtdDirectory(const std::string& requested, const char* dtdName) {
  if (!requested.empty()) {
    if (!IsFile(requested + "/" + dtdName)) throw Failure("no " + std::string(dtdName) + " in '" + requested + "'");
    return requested;
  }
  std::vector<std::string> candidates;
  const std::string self = ExecutableDirectory();
  if (!self.empty()) candidates.push_back((fs::path(self) / EDSUTIL_DTD_FROM_BINDIR).lexically_normal().string());
  candidates.push_back(EDSUTIL_SOURCE_DTD_DIR);
  for (const std::string& directory : candidates) {
    if (IsFile(directory + "/" + dtdName)) return directory;
  }
  throw Failure("cannot find " + std::string(dtdName) + " (looked in '" + candidates.front() +
                "'); give its directory with --dtd-dir");
}

std::string XmlProblem::Describe() const {
  if (line <= 0) return message;
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

XmlProblem LastProblem(const KelEdsDomParser& parser) {
  XmlProblem problem;
  const KelIXMLDOMDocumentBuilder_var builder = parser.GetDOMDocumentBuilder();
  KelUnicodeString message;
  if (!builder.isNull() && builder->getLastError(message, problem.line, problem.column) >= 0) {
    problem.message = message.ToUTF8();
  }
  // One line per failure: the parser's message may span several.
  for (char& c : problem.message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!problem.message.empty() && problem.message.back() == ' ') problem.message.pop_back();
  if (problem.message.empty()) {
    problem.message = "the document cannot be read";
    problem.line = problem.column = 0;
  }
  return problem;
}

std::string WithDocumentType(const std::string& bytes, const char* rootName, const char* dtdName, std::size_t* offset,
                             int* line) {
  std::size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (bytes.compare(at, 5, "<?xml") == 0 && bytes.size() > at + 5 && std::strchr(" \t\r\n", bytes[at + 5]) != nullptr) {
    const std::size_t end = bytes.find("?>", at);
    if (end != std::string::npos) at = end + 2;
  }
  const std::size_t lineStart = bytes.rfind('\n', at == 0 ? 0 : at - 1);
  if (offset != nullptr) *offset = lineStart == std::string::npos || at == 0 ? at : at - lineStart - 1;
  if (line != nullptr) *line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + at, '\n'));
  const std::string declaration = "<!DOCTYPE " + std::string(rootName) + " SYSTEM \"" + dtdName + "\">";
  return bytes.substr(0, at) + declaration + bytes.substr(at);
}

std::optional<XmlProblem> ValidateDocument(const std::string& bytes, const char* rootName, const char* dtdName,
                                           const std::string& dtdDirectory) {
  if (bytes.empty()) return XmlProblem{"the document is empty"};
  // A first, plain load tells whether the document is well-formed and which
  // DTD it names.
  KelEdsDomParser plain;
  if (LoadBytes(plain, bytes, 0, nullptr) < 0) return LastProblem(plain);
  KelIDOMDocumentType_var doctype;
  const KelIDOMDocument_var document = plain.GetDocument();
  if (document.isNull() || document->getDoctype(doctype) < 0) {
    return XmlProblem{"the document could not be examined"};
  }

  std::string text = bytes;
  std::size_t insertedAt = 0;
  int insertedLine = 0;
  std::size_t inserted = 0;
  if (doctype.isNull()) {
    text = WithDocumentType(bytes, rootName, dtdName, &insertedAt, &insertedLine);
    inserted = text.size() - bytes.size();
  } else {
    KelUnicodeString systemId;
    doctype->getSystemId(systemId);
    if (systemId.ToUTF8() != dtdName) {
      return XmlProblem{"the document type names the DTD '" + systemId.ToUTF8() + "', not '" + dtdName + "'"};
    }
  }

  const std::string dtdPath = dtdDirectory + "/" + dtdName;
  if (dtdPath.size() >= KelMaxPath) {
    throw Failure("the path of the DTD is too long for the library (" + std::to_string(KelMaxPath) +
                  " bytes at most): '" + dtdPath + "'");
  }
  const ScopedEnvironment searchPath(kDtdPathVariable, dtdDirectory);
  KelEdsDomParser validating;
  if (LoadBytes(validating, text, 1, dtdName) >= 0) return std::nullopt;
  XmlProblem problem = LastProblem(validating);
  if (inserted > 0 && problem.line == insertedLine && problem.column > static_cast<int>(insertedAt + inserted)) {
    problem.column -= static_cast<int>(inserted);
  }
  return problem;
}

void CheckXmlText(const std::string& what, const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t at = i;
    const long c = NextCodePoint(text, i);
    if (c < 0) throw UsageError(what + " is not well-formed UTF-8 (byte " + std::to_string(at + 1) + ")");
    if (!IsXmlCharacter(c)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04lX", static_cast<unsigned long>(c));
      throw UsageError(what + " holds the character " + code + " (byte " + std::to_string(at + 1) +
                       "), which an XML document cannot carry");
    }
  }
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
  const char* old = getenv(name);
  if (old != nullptr) old_ = old;
  SetProcessVariable(name, &value);
}

ScopedEnvironment::~ScopedEnvironment() { SetProcessVariable(name_, old_ ? &*old_ : nullptr); }

ScratchDirectory::ScratchDirectory() {
  path_ = MakeScratchDirectory();
  if (path_.empty()) throw Failure("cannot make a temporary directory: " + Reason());
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

StdoutCapture::StdoutCapture() {
  std::cout.flush();
  std::fflush(stdout);
  file_ = std::tmpfile();
  if (file_ != nullptr) saved_ = RedirectStandardOutput(file_);
  if (file_ == nullptr || saved_ < 0) {
    const std::string reason = Reason();
    if (file_ != nullptr) std::fclose(file_);
    throw Failure("cannot capture standard output: " + reason);
  }
}

StdoutCapture::~StdoutCapture() {
  if (saved_ >= 0) Finish();
}

std::string StdoutCapture::Finish() {
  std::string printed;
  if (saved_ < 0) return printed;
  std::cout.flush();
  std::fflush(stdout);
  RestoreStandardOutput(saved_);
  saved_ = -1;
  std::rewind(file_);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) printed.append(buffer, n);
  std::fclose(file_);
  file_ = nullptr;
  return printed;
}

LibraryLog::LibraryLog() { previous_ = KelSetSysLogSink(&LibraryLog::Sink, this, &previousContext_); }

LibraryLog::~LibraryLog() { KelSetSysLogSink(previous_, previousContext_); }

void LibraryLog::Sink(const char* message, void* self) {
  static_cast<LibraryLog*>(self)->messages_.push_back(message != nullptr ? message : "");
}

std::string LibraryLog::LastAsNote() const { return messages_.empty() ? "" : " (library: " + messages_.back() + ")"; }

}  // namespace edsutil
