// What KelFileWriter asks of the system, one source per system
// (KelFileWriterPosix.cpp, KelFileWriterWindows.cpp): where the bytes go, the
// earlier file's attributes, closing, removing, and flushing a directory.
// The buffering, the order of the steps and the error rules are the
// writer's own, in KelFileWriter.cpp, the same on every system.
#pragma once

#include <cstddef>
#include <string>

#include "KelFileSystemCalls.h"

namespace kelfile {

// Where a write goes, once placed.
struct Placement {
  std::string target;     // the file that ends up with the bytes (links followed)
  std::string temporary;  // beside the target; empty when written straight into
  int descriptor = -1;    // open for writing
  bool straight = false;  // a device, pipe or descriptor alias: written into, not replaced
  // The file being replaced, whose permissions and owner the new one keeps.
  bool haveExisting = false;
  unsigned mode = 0;
  unsigned long owner = 0;
  unsigned long group = 0;
};

// The system's own calls, the ones KelFileSystemCalls starts with (see
// there for what each does).
long SystemWrite(int descriptor, const void* data, std::size_t length);
int SystemSyncFile(int descriptor);
int SystemRename(const char* from, const char* to);
int SystemSyncDirectory(int descriptor);

// Decides where the bytes for `path` go and opens it: the temporary file
// beside the target, or the target itself when it is written straight into.
// 0, or the errno value of the failure. Whatever it opened or created before
// failing is recorded in `placement`, for the caller to release.
int Place(const std::string& path, Placement* placement);

// Gives the temporary file the earlier file's permissions and, where the
// process may, its owner. 0, or the errno value of the failure.
int KeepAttributes(const Placement& placement);

// 0, or the errno value of the failure.
int CloseFile(int descriptor);
void RemoveFile(const std::string& path);

// Flushes the directory that holds `target` through `calls.syncDirectory`,
// so that a rename survives a power cut. 0, or the errno value of the
// failure; a system or file system that has nothing to flush gives 0.
int SyncDirectoryOf(const std::string& target, const KelFileSystemCalls& calls);

}  // namespace kelfile
