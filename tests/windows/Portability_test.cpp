// What differs between Linux and Windows underneath the library, seen
// through its own functions: file names beyond ASCII (wide calls on
// Windows), the DTD search list (";" on Windows, ":" elsewhere), and the
// replacement of a file that another handle holds open.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "KelEdsXMLParser.h"
#include "KelEnvironment.h"
#include "KelFile.h"
#include "KelFileWriter.h"
#include "support/TestFiles.h"
#include "support/TestSystem.h"
#include "_SEQUENCE_octet.h"

namespace {

using testfiles::Scratch;

bool OnWindows() {
  KelOperatingSystem os{};
  return KelGetOperatingSystem(&os) == 0 && os.kind == KelOSWindows;
}

std::string Joined(const std::string& directory, const std::string& file) {
  char path[KelMaxPath];
  return KelMakePath(directory.c_str(), file.c_str(), path) == 0 ? path : "";
}

std::string ReadLines(const std::string& path) {
  KelFileDescriptor file = nullptr;
  if (KelFOpen(path.c_str(), "r", &file) != 0) return "<cannot open>";
  std::string text;
  char line[64];
  while (KelFGets(line, sizeof line, file) == 0) text += line;
  KelFClose(file);
  return text;
}

const char kJobs[] =
    "<Integration version=\"1\"><EDB_Job EDB_Id=\"J1\" EDB_Type=\"t\" EDB_JobInput=\"\"/></Integration>";

TEST(Portability, TheSystemIsNamedAndItsSeparatorsUsed) {
  KelOperatingSystem os{};
  ASSERT_EQ(KelGetOperatingSystem(&os), 0);
  EXPECT_STREQ(os.name, OnWindows() ? "Windows" : "Linux");
  const std::pair<std::string, const char*> joins[] = {
      {"C:", OnWindows() ? "C:job.xml" : "C:/job.xml"},
      {"C:\\jobs", OnWindows() ? "C:\\jobs\\job.xml" : "C:\\jobs/job.xml"},
      {"C:\\jobs\\", OnWindows() ? "C:\\jobs\\job.xml" : "C:\\jobs\\/job.xml"},
      {"/jobs/", "/jobs/job.xml"},
      {"", "job.xml"},
      {std::string(300, 'd'), ""}};  // longer than a path may be
  for (const auto& [directory, expected] : joins) EXPECT_EQ(Joined(directory, "job.xml"), expected) << directory;
}

// Names the narrow Windows calls would garble: Latin-1 letters, a script
// outside every Windows code page of Western Europe, and a character beyond
// the BMP (a surrogate pair in UTF-16).
TEST(Portability, NonAsciiPathsAreReadAndWrittenAsUtf8) {
  Scratch scratch;
  for (const std::string name : {"Kabelübersicht", "ケーブル", "trasse-\xF0\x9F\x94\x8C"}) {
    const std::string directory = Joined(scratch.path, name);
    std::filesystem::create_directory(std::filesystem::u8path(directory));
    const std::string text = Joined(directory, name + ".txt");
    ASSERT_EQ(KelWriteWholeFile(text.c_str(), "a\r\nb\n", 5), 0) << name;
    EXPECT_EQ(ReadLines(text), "a\nb\n") << name;
    KelFileInfo info{};
    ASSERT_EQ(KelGetFileInfo(text.c_str(), &info), 0) << name;
    EXPECT_EQ(info.size, 5);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(text))) << "the name reached the system intact";

    // The library's own reads and writes go through libxml2.
    const std::string xml = Joined(directory, name + ".xml");
    ASSERT_EQ(KelWriteWholeFile(xml.c_str(), kJobs, sizeof kJobs - 1), 0);
    KelEdsXMLParser parser;
    ASSERT_GE(parser.LoadFile(xml.c_str(), 0), 0) << name;
    const std::string copy = Joined(directory, "copy-" + name + ".xml");
    ASSERT_GE(parser.GenerateFile(copy.c_str()), 0) << name;
    KelEdsXMLParser again;
    EXPECT_GE(again.LoadFile(copy.c_str(), 0), 0) << name;
  }
}

TEST(Portability, TheDtdIsFoundAlongATwoDirectoryDictionaryPath) {
  Scratch scratch;
  const std::string empty = Joined(scratch.path, "empty"), dtds = Joined(scratch.path, "dtd-ü");
  std::filesystem::create_directory(std::filesystem::u8path(empty));
  std::filesystem::create_directory(std::filesystem::u8path(dtds));
  std::filesystem::copy_file(std::string(KEL_SOURCE_DIR) + "/dtd/KelEdsJobs.dtd",
                             std::filesystem::u8path(Joined(dtds, "KelEdsJobs.dtd")));
  const std::string document = "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\">" + std::string(kJobs);
  const std::string separator = OnWindows() ? ";" : ":";
  const std::pair<std::string, bool> cases[] = {
      {empty + separator + dtds, true}, {dtds + separator + empty, true}, {empty, false}};
  for (const auto& [list, found] : cases) {
    testsystem::SetEnv("KelDictionaryPath", list);
    KelEdsXMLParser parser;
    const _SEQUENCE_octet bytes(document.size(), reinterpret_cast<const unsigned char*>(document.data()));
    const bool loaded = parser.LoadStream(&bytes, 1, "KelEdsJobs.dtd") >= 0;
    KelUnicodeString message;
    int line = 0, column = 0;
    const KelIXMLDOMDocumentBuilder_var builder = parser.GetDOMDocumentBuilder();
    if (!builder.isNull()) builder->getLastError(message, line, column);
    EXPECT_EQ(loaded, found) << list << ": " << message.ToUTF8();
  }
  testsystem::UnsetEnv("KelDictionaryPath");
}

// Windows refuses to replace a file that is open without FILE_SHARE_DELETE
// (as the C runtime opens it): the write fails and the file keeps its bytes.
// Linux replaces the name and leaves the open file to its reader.
TEST(Portability, ReplacingAFileHeldOpenElsewhere) {
  Scratch scratch;
  const std::string path = Joined(scratch.path, "held.txt");
  testfiles::WriteFile(path, "old\n");
  KelFileDescriptor reader = nullptr;
  ASSERT_EQ(KelFOpen(path.c_str(), "r", &reader), 0);
  const int error = KelWriteWholeFile(path.c_str(), "new\n", 4);
  char line[16] = "";
  EXPECT_EQ(KelFGets(line, sizeof line, reader), 0);
  EXPECT_STREQ(line, "old\n") << "the open handle reads what it opened";
  KelFClose(reader);
  EXPECT_EQ(error, OnWindows() ? EACCES : 0);
  EXPECT_EQ(testfiles::ReadFile(path), OnWindows() ? "old\n" : "new\n");
  EXPECT_EQ(testfiles::Entries(scratch.path), std::set<std::string>{"held.txt"}) << "no temporary file left";

  KelFileWriter writer(path);
  ASSERT_TRUE(writer.Open());
  ASSERT_TRUE(writer.Write("newer\n", 6));
  EXPECT_TRUE(writer.Commit()) << writer.Problem();
  EXPECT_EQ(testfiles::ReadFile(path), "newer\n") << "once closed, the file is replaced";
}

}  // namespace
