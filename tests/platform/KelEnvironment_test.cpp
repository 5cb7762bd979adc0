#include "KelEnvironment.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "KelFile.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using testfiles::Scratch;

// Writes `bytes` to the file `name` of `dir`; gives its path.
std::string Write(const Scratch& dir, const std::string& name, const std::string& bytes) {
  testfiles::WriteFile(dir.File(name), bytes);
  return dir.File(name);
}

TEST(KelEnvironment, EnvValueIsCopiedForTheCaller) {
  setenv("KEL_TEST_SET", "value", 1);
  setenv("KEL_TEST_EMPTY", "", 1);
  unsetenv("KEL_TEST_UNSET");
  char* value = nullptr;
  ASSERT_EQ(KelGetEnvValue("KEL_TEST_SET", &value), 0);
  EXPECT_STREQ(value, "value");
  KelFreeEnvValue(value);
  EXPECT_EQ(KelGetEnvValue("KEL_TEST_EMPTY", nullptr), 0) << "an empty value counts as set";
  value = reinterpret_cast<char*>(1);
  EXPECT_EQ(KelGetEnvValue("KEL_TEST_UNSET", &value), -1);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(KelGetEnvValue(nullptr, nullptr), -1);
}

TEST(KelEnvironment, OfficialLookupTakesTheFirstDirectoryHoldingTheFile) {
  Scratch first, second;
  Write(second, "job.dtd", "<!ELEMENT a EMPTY>");
  std::string list = first.path + ":" + ":" + second.path;
  setenv("KEL_TEST_PATH", list.c_str(), 1);
  char path[KelMaxPath];
  ASSERT_EQ(KelGetFilePathFromOfficialVariable("job.dtd", "KEL_TEST_PATH", path), 0);
  EXPECT_EQ(std::string(path), second.File("job.dtd"));
  EXPECT_EQ(KelGetFilePathFromOfficialVariable("absent.dtd", "KEL_TEST_PATH", path), -1);
  EXPECT_STREQ(path, "");
  EXPECT_EQ(KelGetFilePathFromOfficialVariable("job.dtd", "KEL_TEST_PATH", path, 4), -1) << "too small a buffer";
  unsetenv("KEL_TEST_PATH");
  EXPECT_EQ(KelGetFilePathFromOfficialVariable("job.dtd", "KEL_TEST_PATH", path), -1);
}

TEST(KelEnvironment, MakePathAndFileInfo) {
  char path[KelMaxPath];
  ASSERT_EQ(KelMakePath("/a/b", "c.dtd", path), 0);
  EXPECT_STREQ(path, "/a/b/c.dtd");
  ASSERT_EQ(KelMakePath("/a/b/", "c.dtd", path), 0);
  EXPECT_STREQ(path, "/a/b/c.dtd");
  ASSERT_EQ(KelMakePath("", "c.dtd", path), 0);
  EXPECT_STREQ(path, "c.dtd");
  std::string longDirectory(300, 'd');
  EXPECT_EQ(KelMakePath(longDirectory.c_str(), "c.dtd", path), -1);

  Scratch dir;
  const std::string file = Write(dir, "f.txt", "12345");
  KelFileInfo info{};
  ASSERT_EQ(KelGetFileInfo(file.c_str(), &info), 0);
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(info.isDirectory, 0);
  EXPECT_EQ(KelGetFileInfo(dir.path.c_str(), &info), 0);
  EXPECT_EQ(info.isDirectory, 1);
  EXPECT_EQ(KelGetFileInfo(dir.File("missing").c_str(), &info), -1);
}

std::vector<std::string> ReadLines(const fs::path& file, const char* mode, int bufferSize) {
  std::vector<std::string> lines;
  KelFileDescriptor fd = nullptr;
  if (KelFOpen(file.c_str(), mode, &fd) != 0) return lines;
  std::vector<char> buffer(static_cast<std::size_t>(bufferSize));
  while (KelFEof(fd) == 1 && KelFGets(buffer.data(), bufferSize, fd) == 0) lines.emplace_back(buffer.data());
  EXPECT_EQ(KelFClose(fd), 0);
  return lines;
}

TEST(KelFile, CrlfReadsLikeLfInTextMode) {
  Scratch dir;
  const std::string lf = Write(dir, "lf.txt", "one\ntwo\nlast");
  const std::string crlf = Write(dir, "crlf.txt", "one\r\ntwo\r\nlast");
  std::vector<std::string> expected = {"one\n", "two\n", "last"};
  EXPECT_EQ(ReadLines(lf, "r", 1024), expected);
  EXPECT_EQ(ReadLines(crlf, "r", 1024), expected);
  EXPECT_EQ(ReadLines(crlf, "rb", 1024), (std::vector<std::string>{"one\r\n", "two\r\n", "last"}));
  const std::string lone = Write(dir, "cr.txt", "a\rb\r");
  EXPECT_EQ(ReadLines(lone, "r", 1024), (std::vector<std::string>{"a\rb\r"})) << "a lone CR is kept";
}

TEST(KelFile, LongLinesComeInPieces) {
  Scratch dir;
  const std::string file = Write(dir, "long.txt", "abcdefg\r\nh");
  EXPECT_EQ(ReadLines(file, "r", 4), (std::vector<std::string>{"abc", "def", "g\n", "h"}));
}

TEST(KelFile, BadArgumentsFailWithoutCrashing) {
  KelFileDescriptor fd = reinterpret_cast<KelFileDescriptor>(1);
  EXPECT_EQ(KelFOpen("/nonexistent/dir/file", "r", &fd), -1);
  EXPECT_EQ(fd, nullptr);
  EXPECT_EQ(KelFOpen(nullptr, "r", &fd), -1);
  char buffer[8];
  EXPECT_EQ(KelFGets(buffer, 8, nullptr), -1);
  EXPECT_EQ(KelFEof(nullptr), 0);
  EXPECT_EQ(KelFClose(nullptr), -1);
  Scratch dir;
  const std::string empty = Write(dir, "empty.txt", "");
  ASSERT_EQ(KelFOpen(empty.c_str(), "r", &fd), 0);
  EXPECT_EQ(KelFEof(fd), 0);
  EXPECT_EQ(KelFGets(buffer, 8, fd), -1);
  EXPECT_EQ(KelFGets(buffer, 1, fd), -1) << "no room for a character";
  KelFClose(fd);
}

}  // namespace
