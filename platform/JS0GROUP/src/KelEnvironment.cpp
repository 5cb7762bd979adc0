#include "KelEnvironment.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "KelSystem.h"

namespace {
bool CopyOut(const std::string& text, char* out, std::size_t size) {
  if (out == nullptr || size == 0 || text.size() >= size) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

std::string Join(const char* directory, const char* file) {
  std::string path = directory != nullptr ? directory : "";
  if (kelsystem::NeedsSeparator(path)) path += kelsystem::PathSeparator();
  path += file != nullptr ? file : "";
  return path;
}
}  // namespace

int KelGetEnvValue(const char* name, char** value) {
  if (value != nullptr) *value = nullptr;
  if (name == nullptr || *name == '\0') return -1;
  std::string found;
  if (!kelsystem::GetEnv(name, &found)) return -1;
  if (value != nullptr) {
    *value = static_cast<char*>(std::malloc(found.size() + 1));
    if (*value == nullptr) return -1;
    std::memcpy(*value, found.c_str(), found.size() + 1);
  }
  return 0;
}

void KelFreeEnvValue(char* value) { std::free(value); }

int KelGetFilePathFromOfficialVariable(const char* file, const char* variable, char* path, std::size_t pathSize) {
  if (path != nullptr && pathSize > 0) path[0] = '\0';
  if (file == nullptr || *file == '\0' || variable == nullptr) return -1;
  std::string list;
  if (!kelsystem::GetEnv(variable, &list)) return -1;
  KelOperatingSystem os{};
  KelGetOperatingSystem(&os);
  const char separator = os.kind == KelOSWindows ? ';' : ':';
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(separator, start);
    if (end == std::string::npos) end = list.size();
    const std::string directory = list.substr(start, end - start);
    // The official lookup skips empty entries; a bare name is not a lookup result.
    if (!directory.empty()) {
      const std::string candidate = Join(directory.c_str(), file);
      if (KelGetFileInfo(candidate.c_str(), nullptr) == 0) return CopyOut(candidate, path, pathSize) ? 0 : -1;
    }
    start = end + 1;
  }
  return -1;
}

int KelGetFileInfo(const char* path, KelFileInfo* info) {
  if (path == nullptr || *path == '\0') return -1;
  return kelsystem::GetFileInfo(path, info) ? 0 : -1;
}

int KelMakePath(const char* directory, const char* file, char* path, std::size_t pathSize) {
  if (file == nullptr) return -1;
  return CopyOut(Join(directory, file), path, pathSize) ? 0 : -1;
}

int KelGetOperatingSystem(KelOperatingSystem* description) {
  if (description == nullptr) return -1;
  description->kind = kelsystem::OperatingSystemKind();
  std::strncpy(description->name, kelsystem::OperatingSystemName(), sizeof description->name - 1);
  description->name[sizeof description->name - 1] = '\0';
  return 0;
}
