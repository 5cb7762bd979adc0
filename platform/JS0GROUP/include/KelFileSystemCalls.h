// KelFileSystemCalls: the system calls through which KelFileWriter puts a
// file in place, gathered so that a test can stand between the writer and
// the system: to see the order of the steps, or to make one of them fail as
// a disk would. An extension of the platform stand-in, for tests; a host has
// no use for it.
//
// Threading: set them before any writer runs, and put the saved ones back
// when done; they are process-wide and not guarded.
#pragma once

#include <cstddef>

#include "ExportedByJS0GROUP.h"

struct KelFileSystemCalls {
  // Like write(2): the bytes written, or -1 with errno set.
  long (*write)(int descriptor, const void* data, std::size_t length);
  // Flushes a written file to the disk, like fsync(2): 0, or -1 with errno.
  int (*syncFile)(int descriptor);
  // Like rename(2): 0, or -1 with errno.
  int (*rename)(const char* from, const char* to);
  // Flushes a directory's entries to the disk: 0, or -1 with errno.
  int (*syncDirectory)(int descriptor);
};

// The calls in use (the system's own unless a test set others).
ExportedByJS0GROUP KelFileSystemCalls KelGetFileSystemCalls();
ExportedByJS0GROUP void KelSetFileSystemCalls(const KelFileSystemCalls& calls);
