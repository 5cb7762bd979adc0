#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "KelXmlFiles.h"
#include "KelXmlText.h"

namespace kelxml {

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// Opened without blocking and checked once open, so that nothing swapped in
// for the file (a FIFO, a device) is read.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    problem = "\"" + path + "\" cannot be opened";
    return false;
  }
  struct stat info {};
  bool fine = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!fine) {
    problem = "\"" + path + "\" is not a regular file";
  } else if (static_cast<std::uint64_t>(info.st_size) > kMaxTextBytes) {
    problem = "\"" + path + "\" is larger than " + std::to_string(kMaxTextBytes) + " bytes";
    fine = false;
  } else {
    bytes.clear();
    char chunk[65536];
    for (;;) {
      const ssize_t got = ::read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 || bytes.size() + static_cast<std::size_t>(got) > kMaxTextBytes) {
        problem = "\"" + path + "\" cannot be read";
        fine = false;
        break;
      }
      if (got == 0) break;
      bytes.append(chunk, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return fine;
}

}  // namespace kelxml
