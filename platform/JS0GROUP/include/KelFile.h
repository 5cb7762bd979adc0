// Text file access over stdio. Paths are UTF-8 (on Windows they reach the
// system through _wfopen). Streams are binary underneath on every system, so
// that the same bytes are read and written everywhere.
//
// A file opened for reading in text mode ("r") reads as on the platform's
// text-mode reader: a CRLF line end reads as a single "\n". Binary modes
// ("rb", ...) read the bytes as they are.
//
// Ownership: a descriptor is the caller's until KelFClose. Threading: one
// descriptor per thread.
#pragma once

#include "ExportedByJS0GROUP.h"

typedef struct KelFileHandle* KelFileDescriptor;

// 0 and a descriptor when the file opens; -1 and a null descriptor otherwise.
ExportedByJS0GROUP int KelFOpen(const char* path, const char* mode, KelFileDescriptor* descriptor);
// Reads one line (with its "\n") or the first size - 1 characters of it into
// `buffer`, zero-terminated. 0 when something was read, -1 at the end or on error.
ExportedByJS0GROUP int KelFGets(char* buffer, int size, KelFileDescriptor descriptor);
// 1 while more can be read, 0 at the end (or for an invalid descriptor).
ExportedByJS0GROUP int KelFEof(KelFileDescriptor descriptor);
// Writes a zero-terminated text. 0 on success, -1 on error.
ExportedByJS0GROUP int KelFPuts(const char* text, KelFileDescriptor descriptor);
// 0 on success, -1 on error; the descriptor is gone either way.
ExportedByJS0GROUP int KelFClose(KelFileDescriptor descriptor);
