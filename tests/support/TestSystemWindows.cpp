#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "TestSystem.h"

namespace testsystem {
namespace {

std::wstring Wide(const std::string& text) { return std::filesystem::u8path(text).wstring(); }

}  // namespace

void SetEnv(const std::string& name, const std::string* value) {
  const std::wstring wideName = Wide(name);
  // The C runtime's copy first (it cannot hold an empty value), then the
  // process's environment block, which the library reads.
  ::_wputenv_s(wideName.c_str(), value != nullptr ? Wide(*value).c_str() : L"");
  ::SetEnvironmentVariableW(wideName.c_str(), value != nullptr ? Wide(*value).c_str() : nullptr);
}

std::string MakeTempDirectory(const std::string& prefix) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return std::string();
  static std::mt19937_64 random{std::random_device{}() ^ ::GetCurrentProcessId()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = base / (prefix + std::to_string(random() % 1000000000ULL));
    if (std::filesystem::create_directory(candidate, error)) return candidate.generic_u8string();
  }
  return std::string();
}

bool HaveProgram(const std::string& program) {
  wchar_t found[MAX_PATH];
  return ::SearchPathW(nullptr, Wide(program).c_str(), L".exe", MAX_PATH, found, nullptr) != 0;
}

}  // namespace testsystem
