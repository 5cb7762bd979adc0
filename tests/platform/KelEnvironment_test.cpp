#include "KelEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "KelFile.h"
#include "support/TestFiles.h"
#include "support/TestSystem.h"

namespace fs = std::filesystem;

namespace {

using testfiles::Scratch;

// Writes `bytes` to the file `name` of `dir`; gives its path.
std::string Write(const Scratch& dir, const std::string& name, const std::string& bytes) {
  testfiles::WriteFile(dir.File(name), bytes);
  return dir.File(name);
}

TEST(KelEnvironment, EnvValueIsCopiedForTheCaller) {
  testsystem::SetEnv("KEL_TEST_SET", "value");
  testsystem::SetEnv("KEL_TEST_EMPTY", "");
  testsystem::UnsetEnv("KEL_TEST_UNSET");
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
  KelOperatingSystem os{};
  ASSERT_EQ(KelGetOperatingSystem(&os), 0);
  const std::string separator = os.kind == KelOSWindows ? ";" : ":";
  testsystem::SetEnv("KEL_TEST_PATH", first.path + separator + separator + second.path);
  char path[KelMaxPath];
  ASSERT_EQ(KelGetFilePathFromOfficialVariable("job.dtd", "KEL_TEST_PATH", path), 0);
  char expected[KelMaxPath];
  ASSERT_EQ(KelMakePath(second.path.c_str(), "job.dtd", expected), 0);
  EXPECT_STREQ(path, expected);
  EXPECT_EQ(KelGetFilePathFromOfficialVariable("absent.dtd", "KEL_TEST_PATH", path), -1);
  EXPECT_STREQ(path, "");
  EXPECT_EQ(KelGetFilePathFromOfficialVariable("job.dtd", "KEL_TEST_PATH", path, 4), -1) << "too small a buffer";
  testsystem::UnsetEnv("KEL_TEST_PATH");
  EXPECT_EQ(KelGetFilePathFromOfficialVariable("job.dtd", "KEL_TEST_PATH", path), -1);
}

// How paths are joined is among the portability cases.
TEST(KelEnvironment, FileInfoGivesSizeAndKind) {
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
  if (KelFOpen(file.u8string().c_str(), mode, &fd) != 0) return lines;
  std::vector<char> buffer(static_cast<std::size_t>(bufferSize));
  while (KelFEof(fd) == 1 && KelFGets(buffer.data(), bufferSize, fd) == 0) lines.emplace_back(buffer.data());
  EXPECT_EQ(KelFClose(fd), 0);
  return lines;
}

// CRLF reads like LF in text mode; long lines come in pieces.
TEST(KelFile, ReadsLinesAsTheModeSays) {
  const struct {
    const char *bytes, *mode;
    int room;
    std::vector<std::string> lines;
  } cases[] = {
      {"one\ntwo\nlast", "r", 1024, {"one\n", "two\n", "last"}},
      {"one\r\ntwo\r\nlast", "r", 1024, {"one\n", "two\n", "last"}},
      {"one\r\ntwo\r\nlast", "rb", 1024, {"one\r\n", "two\r\n", "last"}},
      {"a\rb\r", "r", 1024, {"a\rb\r"}},  // a lone CR is kept
      {"abcdefg\r\nh", "r", 4, {"abc", "def", "g\n", "h"}},
  };
  Scratch dir;
  for (const auto& c : cases) EXPECT_EQ(ReadLines(Write(dir, "f.txt", c.bytes), c.mode, c.room), c.lines) << c.bytes;
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
