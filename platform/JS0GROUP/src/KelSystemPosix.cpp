#include <sys/stat.h>

#include <cstdlib>

#include "KelSystem.h"

namespace kelsystem {

std::FILE* OpenFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool GetEnv(const char* name, std::string* value) {
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  if (value != nullptr) *value = found;
  return true;
}

bool GetFileInfo(const char* path, KelFileInfo* info) {
  struct stat status {};
  if (::stat(path, &status) != 0) return false;
  if (info != nullptr) {
    info->size = static_cast<long long>(status.st_size);
    info->isDirectory = S_ISDIR(status.st_mode) ? 1 : 0;
    info->modificationTime = static_cast<long long>(status.st_mtime);
  }
  return true;
}

char PathSeparator() { return '/'; }

bool NeedsSeparator(const std::string& directory) { return !directory.empty() && directory.back() != '/'; }

short OperatingSystemKind() { return KelOSUnix; }
const char* OperatingSystemName() { return "Linux"; }

}  // namespace kelsystem
