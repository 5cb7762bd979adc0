#include "KelFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "KelFileSystemCalls.h"

namespace {

long SystemWrite(int descriptor, const void* data, std::size_t length) { return ::write(descriptor, data, length); }
int SystemSync(int descriptor) { return ::fsync(descriptor); }
int SystemRename(const char* from, const char* to) { return ::rename(from, to); }

KelFileSystemCalls g_calls{SystemWrite, SystemSync, SystemRename, SystemSync};

// Links followed before giving up, as the system itself does (ELOOP).
constexpr int kMaxLinks = 40;

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A name that stands for an open descriptor rather than for a file: writing
// "to" it means writing into what the descriptor leads to.
bool IsDescriptorAlias(const std::string& path) {
  return StartsWith(path, "/proc/") || StartsWith(path, "/dev/fd/") || path == "/dev/stdout" ||
         path == "/dev/stderr";
}

}  // namespace

KelFileSystemCalls KelGetFileSystemCalls() { return g_calls; }
void KelSetFileSystemCalls(const KelFileSystemCalls& calls) { g_calls = calls; }

struct KelFileWriter::State {
  std::string path;       // as given
  std::string target;     // the file that gets the bytes (links followed)
  std::string temporary;  // beside the target; empty once renamed or when writing straight
  int descriptor = -1;
  int error = 0;
  bool straight = false;  // written into, not replaced
  bool haveExisting = false;
  struct stat existing {};
  std::string buffer;

  static constexpr std::size_t kBlock = 1 << 16;

  void Fail(int code) {
    if (error == 0) error = code != 0 ? code : EIO;
  }
  bool Refuse(int code) {
    Fail(code);
    return false;
  }

  // Follows symbolic links from `path` to the name that is to be written:
  // the last link's target, existing or not. Decides whether it is replaced
  // or written straight into.
  bool Resolve() {
    std::string current = path;
    for (int links = 0;; ++links) {
      if (IsDescriptorAlias(current)) straight = true;
      struct stat info {};
      if (::lstat(current.c_str(), &info) != 0) {
        if (errno != ENOENT) return Refuse(errno);
        break;  // a new file, here
      }
      if (!S_ISLNK(info.st_mode)) {
        if (!S_ISREG(info.st_mode)) straight = true;
        existing = info;
        haveExisting = true;
        break;
      }
      if (links == kMaxLinks) return Refuse(ELOOP);
      char link[PATH_MAX];
      const ssize_t length = ::readlink(current.c_str(), link, sizeof link - 1);
      if (length < 0) return Refuse(errno);
      link[length] = '\0';
      current = link[0] == '/' ? std::string(link) : DirectoryOf(current) + "/" + link;
    }
    target = current;
    return true;
  }

  bool Flush() {
    std::size_t done = 0;
    while (error == 0 && done < buffer.size()) {
      const long n = g_calls.write(descriptor, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Fail(n < 0 ? errno : EIO);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    buffer.clear();
    return error == 0;
  }

  // Keeps what the earlier file was allowed and who owned it. An owner that
  // this process may not give away is left as the process's own.
  void KeepAttributes() {
    if (!haveExisting) return;
    if (::fchmod(descriptor, existing.st_mode & 07777) != 0) Fail(errno);
    struct stat mine {};
    if (error == 0 && ::fstat(descriptor, &mine) == 0 &&
        (mine.st_uid != existing.st_uid || mine.st_gid != existing.st_gid)) {
      if (::fchown(descriptor, existing.st_uid, existing.st_gid) != 0 &&
          ::fchown(descriptor, static_cast<uid_t>(-1), existing.st_gid) != 0) {
        errno = 0;  // not allowed: the file stays the writer's
      }
      // Changing the owner may clear set-id bits: put the mode back.
      if (::fchmod(descriptor, existing.st_mode & 07777) != 0) Fail(errno);
    }
  }

  // Flushes the directory that holds the new name, so that the rename itself
  // survives a power cut. File systems that cannot flush a directory say so
  // with EINVAL; there is nothing more to do on them.
  void SyncDirectory() {
    const int directory = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
      Fail(errno);
      return;
    }
    if (g_calls.syncDirectory(directory) != 0 && errno != EINVAL) Fail(errno);
    ::close(directory);
  }
};

KelFileWriter::KelFileWriter(std::string path) : state_(new (std::nothrow) State) {
  if (state_ != nullptr) state_->path = std::move(path);
}

KelFileWriter::~KelFileWriter() {
  if (state_ == nullptr) return;
  if (state_->descriptor >= 0) ::close(state_->descriptor);
  if (!state_->temporary.empty()) ::unlink(state_->temporary.c_str());
}

bool KelFileWriter::Open() try {
  if (state_ == nullptr) return false;
  State& s = *state_;
  if (s.descriptor >= 0 || s.error != 0) return false;
  if (!s.Resolve()) return false;
  if (s.straight) {
    // Devices and FIFOs ignore O_APPEND; a regular file behind a descriptor
    // alias is added to, as a shell's redirection left it.
    s.descriptor = ::open(s.path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (s.descriptor < 0) return s.Refuse(errno);
  } else {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && s.descriptor < 0; ++attempt) {
      s.temporary = s.target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
      s.descriptor = ::open(s.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (s.descriptor < 0 && errno != EEXIST) break;
    }
    if (s.descriptor < 0) {
      s.temporary.clear();
      return s.Refuse(errno);
    }
  }
  s.buffer.reserve(State::kBlock);
  return true;
} catch (const std::bad_alloc&) {
  return state_->Refuse(ENOMEM);
}

bool KelFileWriter::Write(const char* data, std::size_t length) {
  if (state_ == nullptr || state_->descriptor < 0) return false;
  State& s = *state_;
  if (s.error != 0) return false;
  try {
    s.buffer.append(data, length);
  } catch (const std::bad_alloc&) {
    return s.Refuse(ENOMEM);
  }
  return s.buffer.size() < State::kBlock || s.Flush();
}

bool KelFileWriter::Commit() {
  if (state_ == nullptr || state_->descriptor < 0) return false;
  State& s = *state_;
  s.Flush();
  if (!s.straight) {
    if (s.error == 0) s.KeepAttributes();
    // The content reaches the disk before the name moves to it: after a
    // power cut the name shows the earlier file or the whole new one.
    if (s.error == 0) {
      int synced = 0;
      while ((synced = g_calls.syncFile(s.descriptor)) != 0 && errno == EINTR) {
      }
      if (synced != 0) s.Fail(errno);
    }
  }
  if (::close(s.descriptor) != 0) s.Fail(errno);
  s.descriptor = -1;
  if (s.straight || s.error != 0) return s.error == 0;
  if (g_calls.rename(s.temporary.c_str(), s.target.c_str()) != 0) return s.Refuse(errno);
  s.temporary.clear();
  s.SyncDirectory();
  return s.error == 0;
}

int KelFileWriter::Error() const { return state_ == nullptr ? ENOMEM : state_->error; }

std::string KelFileWriter::Problem() const {
  if (state_ == nullptr) return "cannot write: out of memory";
  if (state_->error == 0) return std::string();
  return "cannot write \"" + state_->path + "\": " + std::strerror(state_->error);
}

int KelWriteWholeFile(const char* path, const char* data, std::size_t length) {
  if (path == nullptr || (data == nullptr && length > 0)) return EINVAL;
  KelFileWriter writer(path);
  if (writer.Open() && writer.Write(data, length) && writer.Commit()) return 0;
  return writer.Error();
}
