// What the tool needs of the system beyond standard C++: one implementation
// per target (EdsutilSystemPosix.cpp, EdsutilSystemWindows.cpp), chosen by
// the build.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace edsutil {

// Standard input and output carry bytes as they are (no CRLF translation on
// Windows), so that what the tool prints is the same on every system.
void PrepareStandardStreams();

// A random (version 4) uuid from the system's generator, in upper case.
std::string SystemUuid();

// The directory of the running executable, or "" when it cannot be told.
std::string ExecutableDirectory();

// Sets (or, with `value` null, removes) a variable of the process
// environment, as the library reads it.
void SetProcessVariable(const char* name, const std::string* value);

// Makes a new private directory under the system's temporary directory.
// Its path, or "" with errno set.
std::string MakeScratchDirectory();

// Runs `program` (found on the PATH) with `arguments`, `input` on its
// standard input and its standard output collected in `output`. The exit
// status; -1 when the program is not installed; -2 when it could not be run
// (errno set).
int RunFilter(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
              std::string* output);

// Points standard output's descriptor at `file`: the descriptor it had
// before, or -1 (errno set) when that failed.
int RedirectStandardOutput(std::FILE* file);
// Gives standard output back the descriptor RedirectStandardOutput returned.
void RestoreStandardOutput(int saved);

// Why the process may not write into the existing directory `directory`, as
// the system says it; empty when it may.
std::string DirectoryWriteProblem(const std::string& directory);

}  // namespace edsutil
