// Environment and path services over the system (POSIX, or Windows through
// its wide-character calls).
//
// Paths and values are narrow UTF-8 strings on every system. Functions that fill a path buffer take its
// size (KelMaxPath by default) and never write past it; a result that would
// not fit is a failure.
//
// Threading: callable from any thread, as long as no thread changes the
// process environment (setenv, putenv) at the same time.
#pragma once

#include <cstddef>

#include "ExportedByJS0GROUP.h"

constexpr std::size_t KelMaxPath = 260;

// 0 when the variable is set (an empty value counts as set), -1 when not.
// When `value` is not null it receives a copy of the value, which the caller
// frees with KelFreeEnvValue.
ExportedByJS0GROUP int KelGetEnvValue(const char* name, char** value);
// Extension of the stand-in, not in the platform contract (docs/PLATFORM.md).
ExportedByJS0GROUP void KelFreeEnvValue(char* value);

// Looks `file` up in the directories listed by the variable (the list
// separator of KelGetOperatingSystem) and writes the first existing path.
// 0 when a path was produced, -1 otherwise.
ExportedByJS0GROUP int KelGetFilePathFromOfficialVariable(const char* file, const char* variable, char* path,
                                                          std::size_t pathSize = KelMaxPath);

struct KelFileInfo {
  long long size;
  int isDirectory;
  long long modificationTime;  // seconds since the epoch
};
// 0 when the path exists (info filled when not null), -1 when not.
ExportedByJS0GROUP int KelGetFileInfo(const char* path, KelFileInfo* info);

// Joins a directory and a file name with the system's separator: "/" (none
// added after a trailing "/"), on Windows "\\" (none after "\\" or "/", nor
// after a bare drive such as "C:"); none at all for an empty directory. 0 on
// success, -1 when it does not fit.
ExportedByJS0GROUP int KelMakePath(const char* directory, const char* file, char* path,
                                   std::size_t pathSize = KelMaxPath);

enum KelOperatingSystemKind : short { KelOSWindows = 1, KelOSUnix = 2 };
struct KelOperatingSystem {
  short kind;  // KelOSWindows lists paths with ";", the others with ":"
  char name[64];
};
ExportedByJS0GROUP int KelGetOperatingSystem(KelOperatingSystem* description);
