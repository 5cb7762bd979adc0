// KelFileWriter's system layer on Windows: the bytes go to a temporary file
// beside the target (CreateFileW), are flushed to the disk
// (FlushFileBuffers), and the temporary file is moved over the target in one
// step (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// The move writes the directory through itself: the seam's directory flush
// is called in the same place as on Linux, and does nothing. A target that
// another process holds open without sharing its deletion cannot be
// replaced: the move fails (EACCES) and the earlier file stays as it was.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "KelFileWriterSystem.h"
#include "KelWide.h"

namespace kelfile {

using kelsystem::ErrnoFromWindows;
using kelsystem::ToWide;

namespace {

HANDLE HandleOf(int descriptor) { return reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)); }

// What the target is: nothing yet, a file on a disk (replaced), or anything
// else, such as NUL, CON or a pipe (written straight into).
enum class Kind { Absent, DiskFile, Directory, Other, Failed };

Kind KindOf(const std::wstring& path, std::wstring* finalPath, int* error) {
  const HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return Kind::Absent;
    *error = ErrnoFromWindows(code);
    return Kind::Failed;
  }
  Kind kind = Kind::Other;
  if (::GetFileType(handle) == FILE_TYPE_DISK) {
    BY_HANDLE_FILE_INFORMATION information{};
    kind = Kind::DiskFile;
    if (::GetFileInformationByHandle(handle, &information)) {
      if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) kind = Kind::Directory;
      // A symbolic link is followed: the file it leads to is replaced.
      if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        wchar_t buffer[MAX_PATH * 4];
        const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer, MAX_PATH * 4, FILE_NAME_NORMALIZED);
        if (length > 0 && length < MAX_PATH * 4) finalPath->assign(buffer, length);
      }
    }
  }
  ::CloseHandle(handle);
  return kind;
}

// A C runtime descriptor over `handle`, which it then owns; -1 (the handle
// closed) when the runtime has none left.
int DescriptorOf(HANDLE handle) {
  const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
  if (descriptor < 0) ::CloseHandle(handle);
  return descriptor;
}

}  // namespace

long SystemWrite(int descriptor, const void* data, std::size_t length) {
  const DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
  DWORD written = 0;
  if (!::WriteFile(HandleOf(descriptor), data, chunk, &written, nullptr)) {
    errno = ErrnoFromWindows(::GetLastError());
    return -1;
  }
  return static_cast<long>(written);
}

int SystemSyncFile(int descriptor) {
  if (::FlushFileBuffers(HandleOf(descriptor))) return 0;
  errno = ErrnoFromWindows(::GetLastError());
  return -1;
}

int SystemRename(const char* from, const char* to) {
  std::wstring wideFrom, wideTo;
  if (!ToWide(from, &wideFrom) || !ToWide(to, &wideTo)) {
    errno = EINVAL;
    return -1;
  }
  if (::MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  errno = ErrnoFromWindows(::GetLastError());
  return -1;
}

// MOVEFILE_WRITE_THROUGH has already put the new name on the disk.
int SystemSyncDirectory(int) { return 0; }

int Place(const std::string& given, Placement* placement) {
  std::wstring path, finalPath;
  if (!ToWide(given.c_str(), &path) || path.empty()) return given.empty() ? ENOENT : EINVAL;
  int error = 0;
  switch (KindOf(path, &finalPath, &error)) {
    case Kind::Failed:
      return error;
    case Kind::Directory:
      return EISDIR;
    case Kind::Other:
      placement->straight = true;
      break;
    case Kind::Absent:
    case Kind::DiskFile:
      break;
  }
  if (!finalPath.empty()) path = finalPath;
  placement->target = kelsystem::ToUtf8(path.c_str());
  if (placement->straight) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ErrnoFromWindows(::GetLastError());
    placement->descriptor = DescriptorOf(handle);
    return placement->descriptor < 0 ? EMFILE : 0;
  }
  static std::atomic<unsigned> counter{0};
  const std::wstring process = std::to_wstring(::GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring temporary = path + L".tmp-" + process + L"-" + std::to_wstring(counter++);
    // Not shared for writing or deletion while it is being written.
    const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
      return ErrnoFromWindows(code);
    }
    placement->temporary = kelsystem::ToUtf8(temporary.c_str());
    placement->descriptor = DescriptorOf(handle);
    return placement->descriptor < 0 ? EMFILE : 0;
  }
  return EEXIST;
}

// A new file takes its directory's permissions; there is nothing to carry over.
int KeepAttributes(const Placement&) { return 0; }

int CloseFile(int descriptor) { return ::_close(descriptor) != 0 ? errno : 0; }

void RemoveFile(const std::string& path) {
  std::wstring wide;
  if (ToWide(path.c_str(), &wide)) ::DeleteFileW(wide.c_str());
}

int SyncDirectoryOf(const std::string&, const KelFileSystemCalls& calls) {
  return calls.syncDirectory(-1) != 0 && errno != EINVAL ? errno : 0;
}

}  // namespace kelfile
