// Files are replaced whole: written to a temporary file beside the target,
// flushed, renamed over it, and the directory flushed. A write that fails (no
// permission, file too large, disk full, a refused flush) returns a failure
// code, leaves the earlier file as it was and leaves no temporary file behind.
// What is not a regular file is written into, never replaced.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "KelFileSystemCalls.h"
#include "KelFileWriter.h"
#include "reliability/ReliabilityTestSupport.h"
#include "support/ResultCodes.h"

using namespace jobtest;
using namespace reltest;
using testcodes::AllOk;

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
    writers_ = {{"GenerateFile", [this](const std::string& path) { return jobs_.GenerateFile(path.c_str()); }},
                {"GenerateNorvaleMetaData", [this](const std::string& path) { return GenerateMetadata(uuids_, path); }},
                // What edsutil writes its files with.
                {"KelWriteWholeFile", [](const std::string& path) {
                   const std::string bytes = "<?xml version=\"1.0\"?>\n<R>" + std::string(200000, 'x') + "</R>\n";
                   return KelWriteWholeFile(path.c_str(), bytes.data(), bytes.size()) == 0 ? 0L : -1L;
                 }}};
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

// The write fails part way, past the file-size limit or on a full disk (a
// small tmpfs, where this process may mount one: root with CAP_SYS_ADMIN):
// the earlier file stays, the partial one goes.
TEST_F(AtomicWrite, AWriteThatFailsHalfWayLeavesTheEarlierFile) {
  const std::string disk = scratch_.File("disk");
  ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
  const bool mounted = mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") == 0;
  struct Unmount {
    std::string path;
    ~Unmount() {
      if (!path.empty()) umount(path.c_str());
    }
  } unmount{mounted ? disk : ""};
  for (const Writer& writer : writers_) {
    SCOPED_TRACE(writer.name);
    const std::string target = scratch_.File("target.xml");
    WriteFile(target, "earlier content");
    long code = 0;
    {
      const FileSizeLimit limit(4096);
      code = writer.write(target);
    }
    ExpectEarlierFileKept(code, target, scratch_.path, {"disk", "target.xml", "uuids.txt"});
    std::filesystem::remove(target);
    if (mounted) {
      const std::string full = disk + "/target.xml";
      WriteFile(full, "earlier content");
      WriteFile(disk + "/filler", std::string(128 * 1024, 'f'));  // whatever room is left, the filler takes
      ExpectEarlierFileKept(writer.write(full), full, disk, {"filler", "target.xml"});
    }
  }
  if (!mounted) GTEST_SKIP() << "cannot mount a tmpfs here: the full disk is not tried";
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
  ASSERT_TRUE(AllOk({chmod(source.c_str(), 0644), chmod(uuids_.c_str(), 0644), chmod(target.c_str(), 0666)}));
  ASSERT_EQ(chmod(closed.c_str(), 0555), 0);

  const bool root = geteuid() == 0;
  for (const std::string mode : {"generate-file", "metadata"}) {
    SCOPED_TRACE(mode);
    long code = 0;
    if (root) {
      const testprocess::Result run =
          testprocess::Run({kProbe, mode, mode == "metadata" ? uuids_ : source, target}, "", nullptr, "", kNobody);
      ASSERT_EQ(run.status, 0) << run.out;
      code = PrintedCode(run, mode);
    } else {
      code = mode == "metadata" ? GenerateMetadata(uuids_, target) : jobs_.GenerateFile(target.c_str());
    }
    ExpectEarlierFileKept(code, target, closed, {"target.xml"});
  }
  chmod(closed.c_str(), 0755);
}

// Through a symbolic link the file it leads to is replaced, owner and mode
// kept, and the link stays; a dangling link gets its file. A device or a FIFO
// is written into and stays what it was.
TEST_F(AtomicWrite, WhereThePathLeads) {
  const bool root = geteuid() == 0;
  for (const Writer& writer : writers_) {
    SCOPED_TRACE(writer.name);
    const std::string real = scratch_.File("real.xml"), link = scratch_.File("link.xml");
    const std::string dangling = scratch_.File("dangling.xml"), fresh = scratch_.File("fresh.xml");
    WriteFile(real, "earlier content");
    ASSERT_EQ(chmod(real.c_str(), 0604), 0);
    if (root) {
      ASSERT_EQ(chown(real.c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(symlink("real.xml", link.c_str()), 0);
    ASSERT_EQ(symlink("fresh.xml", dangling.c_str()), 0);

    ASSERT_GE(writer.write(link), 0);
    ASSERT_GE(writer.write(dangling), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(ReadFile(real).rfind("<?xml", 0), 0u);
    EXPECT_EQ(ReadFile(fresh).rfind("<?xml", 0), 0u);
    struct stat info {};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    if (root) {
      EXPECT_EQ(info.st_uid, kNobody);
    }

    // A null device of our own where one can be made, so that a fault here
    // never replaces the system's /dev/null.
    const std::string device = scratch_.File("null");
    const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    if (haveDevice) {
      ASSERT_GE(writer.write(device), 0);
      EXPECT_TRUE(std::filesystem::is_character_file(device));
      std::filesystem::remove(device);
    }

    const std::string fifo = scratch_.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int readEnd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    std::string received;
    std::thread drain([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (std::chrono::steady_clock::now() < deadline) {
        char block[65536];
        const ssize_t n = read(readEnd, block, sizeof block);
        if (n > 0) received.append(block, static_cast<std::size_t>(n));
        if (n == 0 && !received.empty()) break;  // the writer is done
        if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    const long code = writer.write(fifo);
    drain.join();
    close(readEnd);
    EXPECT_GE(code, 0);
    EXPECT_EQ(received.rfind("<?xml", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(Entries(scratch_.path),
              (std::set<std::string>{"dangling.xml", "fifo", "fresh.xml", "link.xml", "real.xml", "uuids.txt"}));
    for (const std::string& name : {real, link, dangling, fresh, fifo}) std::filesystem::remove(name);
  }
}

// The steps of a replacement as the system sees them, through the seam of the
// platform's file code; a refused flush of the file can be asked for.
struct StepRecorder {
  static inline KelFileSystemCalls saved{};
  static inline std::vector<std::string> steps;
  static inline bool refuseFileSync = false;

  StepRecorder() {
    saved = KelGetFileSystemCalls();
    steps.clear();
    refuseFileSync = false;
    KelSetFileSystemCalls({Write, SyncFile, Rename, SyncDirectory});
  }
  ~StepRecorder() { KelSetFileSystemCalls(saved); }

  static long Write(int descriptor, const void* data, std::size_t length) {
    if (steps.empty() || steps.back() != "write") steps.push_back("write");
    return saved.write(descriptor, data, length);
  }
  static int SyncFile(int descriptor) {
    steps.push_back("fsync file");
    if (!refuseFileSync) return saved.syncFile(descriptor);
    errno = EIO;
    return -1;
  }
  static int Rename(const char* from, const char* to) {
    steps.push_back("rename");
    return saved.rename(from, to);
  }
  static int SyncDirectory(int descriptor) {
    steps.push_back("fsync directory");
    return saved.syncDirectory(descriptor);
  }
};

// The content is on the disk before the name moves to it, and the name is on
// the disk before the writer reports success. A refused flush fails the write
// before the rename: the earlier file stays.
TEST_F(AtomicWrite, TheFileIsFlushedBeforeItsRename) {
  const std::string target = scratch_.File("target.xml");
  for (const Writer& writer : writers_) {
    SCOPED_TRACE(writer.name);
    StepRecorder recorder;
    WriteFile(target, "earlier content");
    ASSERT_GE(writer.write(target), 0);
    EXPECT_EQ(StepRecorder::steps, (Strings{"write", "fsync file", "rename", "fsync directory"}));

    WriteFile(target, "earlier content");
    StepRecorder::steps.clear();
    StepRecorder::refuseFileSync = true;
    ExpectEarlierFileKept(writer.write(target), target, scratch_.path, {"target.xml", "uuids.txt"});
    EXPECT_EQ(StepRecorder::steps, (Strings{"write", "fsync file"}));
  }
}

}  // namespace
