// UTF-8 <-> UTF-16 for the Windows system calls, which take wide strings
// (wchar_t is 16 bits there). Windows sources only.
#pragma once

#include <string>

namespace kelsystem {

// False when `text` is not well-formed UTF-8 (no name on the system has it).
bool ToWide(const char* text, std::wstring* wide);
std::string ToUtf8(const wchar_t* wide);
// The errno value nearest to a Windows error code (GetLastError).
int ErrnoFromWindows(unsigned long error);

}  // namespace kelsystem
