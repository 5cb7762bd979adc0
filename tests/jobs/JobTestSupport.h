// Helpers of the job document tests: byte sequences, captured messages and
// environment variables.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "KelEdsXMLParser.h"
#include "KelEnvironment.h"
#include "KelSysLog.h"
#include "support/TestFiles.h"
#include "support/TestSystem.h"

namespace jobtest {

using Strings = std::vector<std::string>;
inline const std::string kDtdDirectory = std::string(KEL_SOURCE_DIR) + "/dtd";
inline const std::string kNested = std::string(KEL_TEST_DATA_DIR) + "/jobs/nested.xml";

inline _SEQUENCE_octet Bytes(const std::string& text) {
  return _SEQUENCE_octet(text.size(), reinterpret_cast<const unsigned char*>(text.data()));
}
inline long Load(KelEdsDomParser& parser, const std::string& text, unsigned char validate = 0,
                 const char* dtd = nullptr) {
  const _SEQUENCE_octet bytes = Bytes(text);
  return parser.LoadStream(&bytes, validate, dtd);
}
// The bytes of GenerateStream, without the XML declaration line when `body`.
inline std::string Stream(KelEdsDomParser& parser, bool body = false) {
  _SEQUENCE_octet* bytes = nullptr;
  EXPECT_GE(parser.GenerateStream(&bytes), 0);
  std::string text = bytes != nullptr ? std::string(reinterpret_cast<char*>(bytes->_buffer), bytes->_length) : "";
  delete bytes;
  return body ? text.substr(text.find('\n') + 1) : text;
}
inline Strings Of(const KelListValKelUnicodeString& list) {
  Strings out;
  for (const KelUnicodeString& value : list) out.push_back(value.ToUTF8());
  return out;
}

// Collects the KelSysLogAbend messages while it lives.
struct LogCapture {
  LogCapture() { KelSetSysLogSink(&Sink, this); }
  ~LogCapture() { KelSetSysLogSink(nullptr, nullptr); }
  static void Sink(const char* message, void* self) { static_cast<LogCapture*>(self)->messages.push_back(message); }
  Strings messages;
};

// Sets (or, with no value, removes) an environment variable for one scope.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name(name), old(Get(name)) { Set(value); }
  ~ScopedEnv() { Set(old); }
  static std::optional<std::string> Get(const char* name) {
    const char* value = getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  }
  void Set(const std::optional<std::string>& value) const {
    testsystem::SetEnv(name, value ? &*value : nullptr);
  }
  std::string name;
  std::optional<std::string> old;
};

// The separator of the system's path lists (";" on Windows, ":" elsewhere).
inline std::string ListSeparator() {
  KelOperatingSystem os{};
  KelGetOperatingSystem(&os);
  return os.kind == KelOSWindows ? ";" : ":";
}

// A directory and a file name joined as the library joins them.
inline std::string Joined(const std::string& directory, const std::string& file) {
  char path[KelMaxPath];
  return KelMakePath(directory.c_str(), file.c_str(), path) == 0 ? path : "";
}

}  // namespace jobtest
