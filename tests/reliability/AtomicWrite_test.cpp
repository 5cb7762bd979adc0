// Files are replaced whole: written to a temporary file beside the target and
// renamed over it. A write that fails (no permission, file too large, disk
// full) returns a failure code, leaves the earlier file as it was and leaves
// no temporary file behind.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "reliability/ReliabilityTestSupport.h"

using namespace jobtest;
using namespace reltest;

namespace {

constexpr uid_t kNobody = 65534;

// A job document of about `bytes` bytes.
void FillJobs(KelEdsXMLParser& parser, std::size_t bytes) {
  ASSERT_EQ(parser.Init("Integration", "1"), S_OK);
  for (int job = 0; static_cast<std::size_t>(job) * 160 < bytes; ++job) {
    const std::string id = "J" + std::to_string(job);
    ASSERT_GE(parser.AppendJobDefinition(id.c_str(), "route", "input"), 0);
    ASSERT_GE(parser.InsertJobInput(id.c_str(), "length", "12.5", "Double"), 0);
  }
}

// A failed write: the earlier file as it was, and nothing else beside it.
void ExpectEarlierFileKept(long code, const std::string& target, const std::string& dir,
                           const std::set<std::string>& entries) {
  EXPECT_LT(code, 0);
  EXPECT_EQ(ReadFile(target), "earlier content");
  EXPECT_EQ(Entries(dir), entries);
}

// The two writers of the library, each as a function of the target path.
struct Writer {
  const char* name;
  std::function<long(const std::string&)> write;
};

class AtomicWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    FillJobs(jobs_, 200000);
    uuids_ = scratch_.File("uuids.txt");
    WriteUuidFile(uuids_, 130);
    writers_ = {
        {"GenerateFile", [this](const std::string& path) { return jobs_.GenerateFile(path.c_str()); }},
        {"GenerateNorvaleMetaData", [this](const std::string& path) { return GenerateMetadata(uuids_, path); }}};
  }

  Scratch scratch_;
  KelEdsXMLParser jobs_;
  std::string uuids_;
  std::vector<Writer> writers_;
};

// The target is replaced by a new file, not rewritten in place: a reader
// that opened the earlier file (here, a second link to it) keeps reading it
// whole. A file written over keeps its permissions.
TEST_F(AtomicWrite, TheTargetIsReplacedNotRewritten) {
  for (const Writer& writer : writers_) {
    SCOPED_TRACE(writer.name);
    const std::string target = scratch_.File("target.xml"), reader = scratch_.File("reader.xml");
    WriteFile(target, "earlier content");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(link(target.c_str(), reader.c_str()), 0);
    ASSERT_GE(writer.write(target), 0);
    EXPECT_EQ(ReadFile(reader), "earlier content");
    EXPECT_EQ(ReadFile(target).rfind("<?xml", 0), 0u);
    EXPECT_EQ(std::filesystem::status(target).permissions(), static_cast<std::filesystem::perms>(0640));
    EXPECT_EQ(std::filesystem::hard_link_count(target), 1u);
    EXPECT_EQ(Entries(scratch_.path), (std::set<std::string>{"reader.xml", "target.xml", "uuids.txt"}));
    std::filesystem::remove(target);
    std::filesystem::remove(reader);
  }
}

// Lowers the file-size limit while it lives. SIGXFSZ is ignored meanwhile, so
// that a write past the limit fails with EFBIG instead of ending the process.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) : previous(signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
  }
  void (*previous)(int);
  rlimit saved{};
};

// The write fails part way: the earlier file stays, the partial one goes.
TEST_F(AtomicWrite, AWriteThatFailsHalfWayLeavesTheEarlierFile) {
  for (const Writer& writer : writers_) {
    SCOPED_TRACE(writer.name);
    const std::string target = scratch_.File("target.xml");
    WriteFile(target, "earlier content");
    long code = 0;
    {
      const FileSizeLimit limit(4096);
      code = writer.write(target);
    }
    ExpectEarlierFileKept(code, target, scratch_.path, {"target.xml", "uuids.txt"});
    std::filesystem::remove(target);
  }
}

// A directory the writer may not write into. Root may write anywhere, so as
// root the write runs in a child process as "nobody".
TEST_F(AtomicWrite, ADirectoryWithoutWritePermission) {
  const std::string closed = scratch_.File("closed");
  ASSERT_EQ(mkdir(closed.c_str(), 0755), 0);
  ASSERT_EQ(chmod(scratch_.path.c_str(), 0755), 0);
  const std::string source = scratch_.File("jobs.xml"), target = closed + "/target.xml";
  ASSERT_GE(jobs_.GenerateFile(source.c_str()), 0);
  WriteFile(target, "earlier content");
  ASSERT_EQ(chmod(source.c_str(), 0644) + chmod(uuids_.c_str(), 0644) + chmod(target.c_str(), 0666), 0);
  ASSERT_EQ(chmod(closed.c_str(), 0555), 0);

  const bool root = geteuid() == 0;
  for (const std::string mode : {"generate-file", "metadata"}) {
    SCOPED_TRACE(mode);
    long code = 0;
    if (root) {
      const ChildRun run = RunChild({kProbe, mode, mode == "metadata" ? uuids_ : source, target}, kNobody);
      ASSERT_EQ(run.exitCode, 0) << run.out;
      code = run.Code(mode);
    } else {
      code = mode == "metadata" ? GenerateMetadata(uuids_, target) : jobs_.GenerateFile(target.c_str());
    }
    ExpectEarlierFileKept(code, target, closed, {"target.xml"});
  }
  chmod(closed.c_str(), 0755);
}

// A full disk: a small tmpfs where this process may mount one (root with
// CAP_SYS_ADMIN), skipped elsewhere.
TEST_F(AtomicWrite, AFullDisk) {
  const std::string disk = scratch_.File("disk");
  ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{disk};
  const std::string target = disk + "/target.xml";
  for (const Writer& writer : writers_) {
    SCOPED_TRACE(writer.name);
    WriteFile(target, "earlier content");
    // Whatever room is left, the filler takes.
    WriteFile(disk + "/filler", std::string(128 * 1024, 'f'));
    ExpectEarlierFileKept(writer.write(target), target, disk, {"filler", "target.xml"});
  }
}

}  // namespace
