// Running edsutil as a user runs it: the fixture spawns the built binary with
// arguments, standard input, a PATH and a working directory of the test's
// choosing, and collects standard output, standard error and the exit status.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestFiles.h"

namespace clitest {

namespace fs = std::filesystem;

using Result = testprocess::Result;

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The arguments as one command line, for failure messages.
inline std::string Joined(const std::vector<std::string>& args) {
  std::string command;
  for (const std::string& arg : args) command += " " + arg;
  return command;
}

// Whether `text` holds `part`; a failure shows both.
inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

class Edsutil : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kelcli.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs edsutil with `args`, `input` on its standard input, `path` (when
  // given) as its PATH, and `cwd` (when given) as its working directory.
  Result Run(const std::vector<std::string>& args, const std::string& input = "", const char* path = nullptr,
             const fs::path& cwd = {}) {
    std::vector<std::string> argv{EDSUTIL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return testprocess::Run(argv, input, path, cwd.string());
  }

  // Runs a command that must succeed; gives its standard output.
  std::string Output(const std::vector<std::string>& args, const std::string& input = "") {
    const Result r = Run(args, input);
    EXPECT_EQ(r.status, 0) << Joined(args) << "\n" << r.err;
    return r.out;
  }

  // Runs a command that must fail with `status`, print nothing on standard
  // output and one line naming `culprit` on standard error.
  void ExpectFailure(const std::vector<std::string>& args, int status, const std::string& culprit,
                     const std::string& input = "") {
    const Result r = Run(args, input);
    EXPECT_EQ(r.status, status) << Joined(args);
    EXPECT_EQ(r.out, "") << Joined(args);
    EXPECT_EQ(Lines(r.err).size(), 1u) << Joined(args) << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, culprit)) << Joined(args);
  }

  // A path in the test's own directory.
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

}  // namespace clitest
