#include <fcntl.h>
#include <io.h>
#include <rpc.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "EdsutilSystem.h"

namespace edsutil {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
  if (needed > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
  return text;
}

// One command-line word as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

void PrepareStandardStreams() {
  ::_setmode(_fileno(stdin), _O_BINARY);
  ::_setmode(_fileno(stdout), _O_BINARY);
  ::_setmode(_fileno(stderr), _O_BINARY);
}

std::string SystemUuid() {
  UUID value{};
  ::UuidCreate(&value);
  char text[37];
  std::snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(value.Data1), value.Data2, value.Data3, value.Data4[0], value.Data4[1],
                value.Data4[2], value.Data4[3], value.Data4[4], value.Data4[5], value.Data4[6], value.Data4[7]);
  return text;
}

std::string ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Utf8(std::filesystem::path(path).parent_path().wstring());
}

void SetProcessVariable(const char* name, const std::string* value) {
  // The C runtime's copy is what the library reads (_wgetenv); an empty
  // value would remove the variable there, so it is stored as set by
  // SetEnvironmentVariableW as well.
  const std::wstring wideName = Wide(name);
  if (value == nullptr) {
    ::_wputenv_s(wideName.c_str(), L"");
    ::SetEnvironmentVariableW(wideName.c_str(), nullptr);
    return;
  }
  const std::wstring wideValue = Wide(*value);
  ::_wputenv_s(wideName.c_str(), wideValue.c_str());
  ::SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str());
}

std::string MakeScratchDirectory() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return std::string();
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / (L"edsutil." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()) +
                L"-" + std::to_wstring(counter++));
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) return Utf8(candidate.wstring());
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  errno = EACCES;
  return std::string();
}

int RunFilter(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
              std::string* output) {
  // The program is looked up on the PATH, with the extensions that
  // CreateProcessW itself does not try.
  wchar_t found[MAX_PATH];
  const std::wstring wideProgram = Wide(program);
  if (::SearchPathW(nullptr, wideProgram.c_str(), L".exe", MAX_PATH, found, nullptr) == 0) return -1;
  std::wstring commandLine = Quote(wideProgram);
  for (const std::string& argument : arguments) commandLine += L" " + Quote(Wide(argument));

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return errno = EMFILE, -2;
  if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    ::CloseHandle(inRead), ::CloseHandle(inWrite);
    return errno = EMFILE, -2;
  }
  // Our own ends stay ours.
  ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(found, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
  ::CloseHandle(inRead), ::CloseHandle(outWrite);
  if (!started) {
    ::CloseHandle(inWrite), ::CloseHandle(outRead);
    return errno = EACCES, -2;
  }
  ::CloseHandle(process.hThread);
  // The input is fed from a thread of its own so that neither pipe fills
  // while the other waits.
  bool allSent = true;
  std::thread feeder([&] {
    std::size_t sent = 0;
    while (sent < input.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - sent, 1 << 20));
      if (!::WriteFile(inWrite, input.data() + sent, chunk, &written, nullptr) || written == 0) break;
      sent += written;
    }
    allSent = sent == input.size();
    ::CloseHandle(inWrite);
  });
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(outRead, buffer, sizeof buffer, &read, nullptr) && read > 0) output->append(buffer, read);
  ::CloseHandle(outRead);
  feeder.join();
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hProcess);
  return status == 0 && !allSent ? 1 : static_cast<int>(status);
}

int RedirectStandardOutput(std::FILE* file) {
  const int saved = _dup(_fileno(stdout));
  if (saved < 0) return -1;
  if (_dup2(_fileno(file), _fileno(stdout)) < 0) {
    const int error = errno;
    _close(saved);
    errno = error;
    return -1;
  }
  return saved;
}

void RestoreStandardOutput(int saved) {
  _dup2(saved, _fileno(stdout));
  _close(saved);
}

std::string DirectoryWriteProblem(const std::string& directory) {
  return _access(directory.c_str(), 2) != 0 ? std::strerror(errno) : std::string();
}

}  // namespace edsutil
