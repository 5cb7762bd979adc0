// The few system calls whose form differs between Linux and Windows, for the
// environment and file services. One implementation is built per target
// (KelSystemPosix.cpp, KelSystemWindows.cpp); everything else is shared.
//
// Paths and environment values are UTF-8 on every target.
// Threading: as the system calls they stand for.
#pragma once

#include <cstdio>
#include <string>

#include "KelEnvironment.h"

namespace kelsystem {

// Like fopen. Always a binary stream, so that reads and writes carry the
// same bytes on every target (KelFGets turns CRLF into LF itself).
std::FILE* OpenFile(const char* path, const char* mode);

// True when the variable is set; its value copied to `value` when not null.
bool GetEnv(const char* name, std::string* value);

// True when the path exists; `info` filled when not null.
bool GetFileInfo(const char* path, KelFileInfo* info);

// The separator put between a directory and a file name.
char PathSeparator();
// Whether a separator goes between `directory` and a name joined to it: not
// after an empty directory, a separator, or (on Windows) a bare drive "C:".
bool NeedsSeparator(const std::string& directory);

// The system's kind and name.
short OperatingSystemKind();
const char* OperatingSystemName();

}  // namespace kelsystem
