#include <windows.h>

#include <cctype>
#include <cstdint>
#include <vector>

#include "KelXmlFiles.h"
#include "KelXmlText.h"

namespace kelxml {
namespace {

// A file URI's path keeps a slash before its drive ("/C:/dir/file"); the
// system wants the drive first.
std::string Native(const std::string& path) {
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':' && std::isalpha(static_cast<unsigned char>(path[1]))) {
    return path.substr(1);
  }
  return path;
}

std::wstring Wide(const std::string& path) {
  const std::string text = Native(path);
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                          nullptr);
  }
  return narrow;
}

// A handle on an existing file or directory, for reading its attributes.
HANDLE OpenForQuery(const std::wstring& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::string Resolved(const std::string& path) {
  const HANDLE handle = OpenForQuery(Wide(path), 0);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
  }
  ::CloseHandle(handle);
  if (length == 0 || length >= buffer.size()) return std::string();
  std::wstring resolved(buffer.data(), length);
  if (resolved.rfind(L"\\\\?\\", 0) == 0) resolved.erase(0, 4);
  std::string text = Narrow(resolved);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem) {
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem = "\"" + path + "\" cannot be opened";
    return false;
  }
  LARGE_INTEGER size{};
  bool fine = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) != 0;
  if (!fine) {
    problem = "\"" + path + "\" is not a regular file";
  } else if (static_cast<std::uint64_t>(size.QuadPart) > kMaxTextBytes) {
    problem = "\"" + path + "\" is larger than " + std::to_string(kMaxTextBytes) + " bytes";
    fine = false;
  } else {
    bytes.clear();
    char chunk[65536];
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr) ||
          bytes.size() + static_cast<std::size_t>(got) > kMaxTextBytes) {
        problem = "\"" + path + "\" cannot be read";
        fine = false;
        break;
      }
      if (got == 0) break;
      bytes.append(chunk, got);
    }
  }
  ::CloseHandle(file);
  return fine;
}

}  // namespace kelxml
