// KelFileWriter on Windows: the bytes go to a temporary file beside the
// target (CreateFileW), are flushed to the disk (FlushFileBuffers), and the
// temporary file is moved over the target in one step
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). The
// move writes the directory through itself: the seam's directory flush is
// called in the same place as on Linux, and does nothing. A target that another process holds open without
// sharing its deletion cannot be replaced: the move fails (EACCES) and the
// earlier file stays as it was.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "KelFileSystemCalls.h"
#include "KelFileWriter.h"
#include "KelWide.h"

namespace {

using kelsystem::ErrnoFromWindows;
using kelsystem::ToWide;

HANDLE HandleOf(int descriptor) { return reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)); }

long SystemWrite(int descriptor, const void* data, std::size_t length) {
  const DWORD chunk = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
  DWORD written = 0;
  if (!::WriteFile(HandleOf(descriptor), data, chunk, &written, nullptr)) {
    errno = ErrnoFromWindows(::GetLastError());
    return -1;
  }
  return static_cast<long>(written);
}

int SystemSync(int descriptor) {
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

KelFileSystemCalls g_calls{SystemWrite, SystemSync, SystemRename, SystemSyncDirectory};

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

std::string Utf8(const std::wstring& wide) { return kelsystem::ToUtf8(wide.c_str()); }

}  // namespace

KelFileSystemCalls KelGetFileSystemCalls() { return g_calls; }
void KelSetFileSystemCalls(const KelFileSystemCalls& calls) { g_calls = calls; }

struct KelFileWriter::State {
  std::string path;       // as given
  std::string target;     // the file that gets the bytes (links followed)
  std::string temporary;  // beside the target; empty once moved or when writing straight
  int descriptor = -1;    // a C runtime descriptor over the Windows handle
  int error = 0;
  bool straight = false;
  std::string buffer;

  static constexpr std::size_t kBlock = 1 << 16;

  void Fail(int code) {
    if (error == 0) error = code != 0 ? code : EIO;
  }
  bool Refuse(int code) {
    Fail(code);
    return false;
  }

  bool Flush() {
    std::size_t done = 0;
    while (error == 0 && done < buffer.size()) {
      const long n = g_calls.write(descriptor, buffer.data() + done, buffer.size() - done);
      if (n <= 0) {
        Fail(n < 0 ? errno : EIO);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    buffer.clear();
    return error == 0;
  }

  bool Adopt(HANDLE handle) {
    descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (descriptor >= 0) return true;
    ::CloseHandle(handle);
    return Refuse(EMFILE);
  }
};

KelFileWriter::KelFileWriter(std::string path) : state_(new (std::nothrow) State) {
  if (state_ != nullptr) state_->path = std::move(path);
}

KelFileWriter::~KelFileWriter() {
  if (state_ == nullptr) return;
  if (state_->descriptor >= 0) ::_close(state_->descriptor);
  if (!state_->temporary.empty()) {
    std::wstring wide;
    if (ToWide(state_->temporary.c_str(), &wide)) ::DeleteFileW(wide.c_str());
  }
}

bool KelFileWriter::Open() try {
  if (state_ == nullptr) return false;
  State& s = *state_;
  if (s.descriptor >= 0 || s.error != 0) return false;
  std::wstring path, finalPath;
  if (!ToWide(s.path.c_str(), &path) || path.empty()) return s.Refuse(s.path.empty() ? ENOENT : EINVAL);
  int error = 0;
  switch (KindOf(path, &finalPath, &error)) {
    case Kind::Failed:
      return s.Refuse(error);
    case Kind::Directory:
      return s.Refuse(EISDIR);
    case Kind::Other:
      s.straight = true;
      break;
    case Kind::Absent:
    case Kind::DiskFile:
      break;
  }
  if (!finalPath.empty()) path = finalPath;
  s.target = Utf8(path);
  if (s.straight) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return s.Refuse(ErrnoFromWindows(::GetLastError()));
    if (!s.Adopt(handle)) return false;
  } else {
    static std::atomic<unsigned> counter{0};
    const std::wstring process = std::to_wstring(::GetCurrentProcessId());
    for (int attempt = 0; attempt < 100 && s.descriptor < 0; ++attempt) {
      const std::wstring temporary = path + L".tmp-" + process + L"-" + std::to_wstring(counter++);
      // Not shared for writing or deletion while it is being written.
      const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
        return s.Refuse(ErrnoFromWindows(code));
      }
      s.temporary = Utf8(temporary);
      if (!s.Adopt(handle)) {
        ::DeleteFileW(temporary.c_str());
        s.temporary.clear();
        return false;
      }
    }
    if (s.descriptor < 0) return s.Refuse(EEXIST);
  }
  s.buffer.reserve(State::kBlock);
  return true;
} catch (const std::bad_alloc&) {
  return state_->Refuse(ENOMEM);
}

bool KelFileWriter::Write(const char* data, std::size_t length) {
  if (state_ == nullptr || state_->descriptor < 0) return false;
  State& s = *state_;
  if (s.error != 0) return false;
  try {
    s.buffer.append(data, length);
  } catch (const std::bad_alloc&) {
    return s.Refuse(ENOMEM);
  }
  return s.buffer.size() < State::kBlock || s.Flush();
}

bool KelFileWriter::Commit() {
  if (state_ == nullptr || state_->descriptor < 0) return false;
  State& s = *state_;
  s.Flush();
  // The content reaches the disk before the name moves to it.
  if (!s.straight && s.error == 0 && g_calls.syncFile(s.descriptor) != 0) s.Fail(errno);
  if (::_close(s.descriptor) != 0) s.Fail(errno);
  s.descriptor = -1;
  if (s.straight || s.error != 0) return s.error == 0;
  if (g_calls.rename(s.temporary.c_str(), s.target.c_str()) != 0) return s.Refuse(errno);
  s.temporary.clear();
  if (g_calls.syncDirectory(-1) != 0 && errno != EINVAL) s.Fail(errno);
  return s.error == 0;
}

int KelFileWriter::Error() const { return state_ == nullptr ? ENOMEM : state_->error; }

std::string KelFileWriter::Problem() const {
  if (state_ == nullptr) return "cannot write: out of memory";
  if (state_->error == 0) return std::string();
  return "cannot write \"" + state_->path + "\": " + std::strerror(state_->error);
}

int KelWriteWholeFile(const char* path, const char* data, std::size_t length) {
  if (path == nullptr || (data == nullptr && length > 0)) return EINVAL;
  KelFileWriter writer(path);
  if (writer.Open() && writer.Write(data, length) && writer.Commit()) return 0;
  return writer.Error();
}
