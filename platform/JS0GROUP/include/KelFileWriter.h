// KelFileWriter: writes a whole file so that neither a failure nor a power
// cut leaves it half written. An extension of the platform stand-in: every
// writer of files (the XML builder, the command-line tool) goes through it.
//
// Where the path leads decides how:
// - a regular file, or nothing yet: the bytes go to a temporary file
//   "<target>.tmp-<pid>-<n>" beside the target, which is flushed to the disk,
//   renamed over the target, and the directory flushed after the rename. A
//   symbolic link is followed: the file it leads to is replaced and the link
//   stays. A file written over keeps its permissions and, where the process
//   may set it, its owner and group. Other hard links to the earlier file
//   keep the earlier content: the name gets a new file.
// - anything else (a device such as /dev/null, a FIFO, a terminal, a
//   descriptor alias such as /dev/stdout or /proc/self/fd/N): written straight
//   into, as a plain open and write would; there is nothing to replace.
// A write that fails at any point before the rename (no room, no permission,
// a refused flush) leaves the earlier file as it was and no temporary file;
// Commit then returns false and Problem says why. Should the flush of the
// directory fail after the rename, the new content is in place but may not
// survive a power cut: Commit returns false for that too.
//
// Ownership: the writer owns its temporary file and descriptor; a writer
// destroyed without a successful Commit removes the temporary file.
// Threading: one writer per thread; two writers of the same target at once
// are not coordinated (the last rename wins).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ExportedByJS0GROUP.h"

class ExportedByJS0GROUP KelFileWriter {
 public:
  explicit KelFileWriter(std::string path);
  ~KelFileWriter();
  KelFileWriter(const KelFileWriter&) = delete;
  KelFileWriter& operator=(const KelFileWriter&) = delete;

  // Prepares the write (the temporary file, or the open target). False on failure.
  bool Open();
  // Adds bytes; written out in large blocks. False once the write has failed.
  bool Write(const char* data, std::size_t length);
  // Completes the file and puts it in place. False on failure.
  bool Commit();
  // The system's error number of the first failure (ENOMEM when memory ran
  // out), 0 while none.
  int Error() const;
  // "cannot write \"<path>\": <reason>" after a failure, else empty.
  std::string Problem() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Writes `length` bytes as the whole content of `path` through a
// KelFileWriter. 0 on success, else the system's error number of the failure.
ExportedByJS0GROUP int KelWriteWholeFile(const char* path, const char* data, std::size_t length);
