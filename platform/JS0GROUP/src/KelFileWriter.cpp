// The file writer's own rules, the same on every system: one buffer written
// out in large blocks, the first failure kept, and the order that makes a
// replacement safe (content flushed, then renamed, then the directory
// flushed). What the system does at each step is in KelFileWriterSystem.h.
#include "KelFileWriter.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "KelFileSystemCalls.h"
#include "KelFileWriterSystem.h"

namespace {

// Constant-initialised: nothing runs when the library is loaded.
KelFileSystemCalls g_calls{kelfile::SystemWrite, kelfile::SystemSyncFile, kelfile::SystemRename,
                           kelfile::SystemSyncDirectory};

}  // namespace

KelFileSystemCalls KelGetFileSystemCalls() { return g_calls; }
void KelSetFileSystemCalls(const KelFileSystemCalls& calls) { g_calls = calls; }

struct KelFileWriter::State {
  std::string path;  // as given
  kelfile::Placement placement;
  int error = 0;
  std::string buffer;

  static constexpr std::size_t kBlock = 1 << 16;

  void Fail(int code) {
    if (error == 0) error = code != 0 ? code : EIO;
  }
  bool Refuse(int code) {
    Fail(code);
    return false;
  }

  // Closes what is open and removes a temporary file not yet renamed.
  void Release() {
    if (placement.descriptor >= 0) kelfile::CloseFile(placement.descriptor);
    placement.descriptor = -1;
    if (!placement.temporary.empty()) kelfile::RemoveFile(placement.temporary);
    placement.temporary.clear();
  }

  bool Flush() {
    std::size_t done = 0;
    while (error == 0 && done < buffer.size()) {
      const long n = g_calls.write(placement.descriptor, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Fail(n < 0 ? errno : EIO);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    buffer.clear();
    return error == 0;
  }

  void SyncFile() {
    int synced = 0;
    while ((synced = g_calls.syncFile(placement.descriptor)) != 0 && errno == EINTR) {
    }
    if (synced != 0) Fail(errno);
  }
};

KelFileWriter::KelFileWriter(std::string path) : state_(new (std::nothrow) State) {
  if (state_ != nullptr) state_->path = std::move(path);
}

KelFileWriter::~KelFileWriter() {
  if (state_ != nullptr) state_->Release();
}

bool KelFileWriter::Open() {
  if (state_ == nullptr) return false;
  State& s = *state_;
  if (s.placement.descriptor >= 0 || s.error != 0) return false;
  int error = 0;
  try {
    error = kelfile::Place(s.path, &s.placement);
    if (error == 0) s.buffer.reserve(State::kBlock);
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  if (error == 0) return true;
  s.Release();
  return s.Refuse(error);
}

bool KelFileWriter::Write(const char* data, std::size_t length) {
  if (state_ == nullptr || state_->placement.descriptor < 0) return false;
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
  if (state_ == nullptr || state_->placement.descriptor < 0) return false;
  State& s = *state_;
  kelfile::Placement& p = s.placement;
  s.Flush();
  if (!p.straight) {
    if (s.error == 0) {
      if (const int kept = kelfile::KeepAttributes(p)) s.Fail(kept);
    }
    // The content reaches the disk before the name moves to it: after a
    // power cut the name shows the earlier file or the whole new one.
    if (s.error == 0) s.SyncFile();
  }
  const int closed = kelfile::CloseFile(p.descriptor);
  p.descriptor = -1;
  if (closed != 0) s.Fail(closed);
  if (p.straight || s.error != 0) return s.error == 0;
  if (g_calls.rename(p.temporary.c_str(), p.target.c_str()) != 0) return s.Refuse(errno);
  p.temporary.clear();
  if (const int synced = kelfile::SyncDirectoryOf(p.target, g_calls)) s.Fail(synced);
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
