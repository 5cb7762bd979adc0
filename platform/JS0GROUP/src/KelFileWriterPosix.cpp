// KelFileWriter's system layer on POSIX systems: symbolic links followed by
// hand (the link stays, the file it leads to is replaced), a temporary file
// opened with O_EXCL beside the target, the earlier file's mode and owner
// kept, and the directory flushed with fsync.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>

#include "KelFileWriterSystem.h"

namespace kelfile {

long SystemWrite(int descriptor, const void* data, std::size_t length) { return ::write(descriptor, data, length); }
int SystemSyncFile(int descriptor) { return ::fsync(descriptor); }
int SystemRename(const char* from, const char* to) { return ::rename(from, to); }
int SystemSyncDirectory(int descriptor) { return ::fsync(descriptor); }

namespace {

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

// Follows symbolic links from `path` to the name that is to be written: the
// last link's target, existing or not. Decides whether it is replaced or
// written straight into. 0 or the errno value.
int Resolve(const std::string& path, Placement* placement) {
  std::string current = path;
  for (int links = 0;; ++links) {
    if (IsDescriptorAlias(current)) placement->straight = true;
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return errno;
      break;  // a new file, here
    }
    if (!S_ISLNK(info.st_mode)) {
      if (!S_ISREG(info.st_mode)) placement->straight = true;
      placement->haveExisting = true;
      placement->mode = info.st_mode & 07777;
      placement->owner = info.st_uid;
      placement->group = info.st_gid;
      break;
    }
    if (links == kMaxLinks) return ELOOP;
    char link[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), link, sizeof link - 1);
    if (length < 0) return errno;
    link[length] = '\0';
    current = link[0] == '/' ? std::string(link) : DirectoryOf(current) + "/" + link;
  }
  placement->target = current;
  return 0;
}

}  // namespace

int Place(const std::string& path, Placement* placement) {
  if (const int error = Resolve(path, placement)) return error;
  if (placement->straight) {
    // Devices and FIFOs ignore O_APPEND; a regular file behind a descriptor
    // alias is added to, as a shell's redirection left it.
    placement->descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return placement->descriptor < 0 ? errno : 0;
  }
  static std::atomic<unsigned> counter{0};
  const std::string prefix = placement->target + ".tmp-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = prefix + std::to_string(counter++);
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
      placement->descriptor = descriptor;
      placement->temporary = temporary;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int KeepAttributes(const Placement& placement) {
  if (!placement.haveExisting) return 0;
  const int descriptor = placement.descriptor;
  if (::fchmod(descriptor, placement.mode) != 0) return errno;
  const auto owner = static_cast<uid_t>(placement.owner);
  const auto group = static_cast<gid_t>(placement.group);
  struct stat mine {};
  if (::fstat(descriptor, &mine) != 0 || (mine.st_uid == owner && mine.st_gid == group)) return 0;
  // An owner that this process may not give away is left as the process's own.
  if (::fchown(descriptor, owner, group) != 0) (void)::fchown(descriptor, static_cast<uid_t>(-1), group);
  // Changing the owner may clear set-id bits: put the mode back.
  return ::fchmod(descriptor, placement.mode) != 0 ? errno : 0;
}

int CloseFile(int descriptor) { return ::close(descriptor) != 0 ? errno : 0; }

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

// File systems that cannot flush a directory say so with EINVAL; there is
// nothing more to do on them.
int SyncDirectoryOf(const std::string& target, const KelFileSystemCalls& calls) {
  const int directory = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return errno;
  const int error = calls.syncDirectory(directory) != 0 && errno != EINVAL ? errno : 0;
  ::close(directory);
  return error;
}

}  // namespace kelfile
