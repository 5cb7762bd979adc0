#include <stdlib.h>

#include <cstdlib>

#include <filesystem>

#include "TestSystem.h"

namespace testsystem {

void SetEnv(const std::string& name, const std::string* value) {
  value != nullptr ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
}

std::string MakeTempDirectory(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

bool HaveProgram(const std::string& program) {
  return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace testsystem
