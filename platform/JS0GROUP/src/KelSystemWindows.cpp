#include <windows.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <cstring>

#include "KelSystem.h"
#include "KelWide.h"

namespace kelsystem {

bool ToWide(const char* text, std::wstring* wide) {
  wide->clear();
  if (text == nullptr) return false;
  const int length = static_cast<int>(std::strlen(text));
  if (length == 0) return true;
  const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (needed <= 0) return false;
  wide->resize(static_cast<std::size_t>(needed));
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, wide->data(), needed) == needed;
}

std::string ToUtf8(const wchar_t* wide) {
  std::string text;
  if (wide == nullptr || *wide == L'\0') return text;
  const int length = static_cast<int>(std::wcslen(wide));
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return text;
  text.resize(static_cast<std::size_t>(needed));
  ::WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), needed, nullptr, nullptr);
  return text;
}

int ErrnoFromWindows(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

std::FILE* OpenFile(const char* path, const char* mode) {
  std::wstring widePath, wideMode;
  if (!ToWide(path, &widePath) || widePath.empty() || !ToWide(mode, &wideMode)) {
    errno = ENOENT;
    return nullptr;
  }
  if (wideMode.find(L'b') == std::wstring::npos) wideMode += L'b';
  return ::_wfopen(widePath.c_str(), wideMode.c_str());
}

// The process's own environment block, which (unlike the C runtime's copy)
// keeps a variable set to an empty value.
bool GetEnv(const char* name, std::string* value) {
  std::wstring wideName;
  if (!ToWide(name, &wideName) || wideName.empty()) return false;
  std::wstring found(256, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), found.data(), static_cast<DWORD>(found.size()));
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length < found.size()) {
      found.resize(length);
      break;
    }
    found.resize(length);
  }
  if (value != nullptr) *value = ToUtf8(found.c_str());
  return true;
}

bool GetFileInfo(const char* path, KelFileInfo* info) {
  std::wstring widePath;
  if (!ToWide(path, &widePath) || widePath.empty()) return false;
  struct _stat64 status {};
  if (::_wstat64(widePath.c_str(), &status) != 0) return false;
  if (info != nullptr) {
    info->size = static_cast<long long>(status.st_size);
    info->isDirectory = (status.st_mode & _S_IFDIR) != 0 ? 1 : 0;
    info->modificationTime = static_cast<long long>(status.st_mtime);
  }
  return true;
}

char PathSeparator() { return '\\'; }

bool NeedsSeparator(const std::string& directory) {
  if (directory.empty()) return false;
  const char last = directory.back();
  if (last == '\\' || last == '/') return false;
  // "C:" names the drive's current directory: "C:file" is a file in it.
  return !(directory.size() == 2 && last == ':' && std::isalpha(static_cast<unsigned char>(directory[0])) != 0);
}

short OperatingSystemKind() { return KelOSWindows; }
const char* OperatingSystemName() { return "Windows"; }

}  // namespace kelsystem
