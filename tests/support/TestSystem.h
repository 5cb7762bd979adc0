// The few system services the tests need whose form differs between Linux
// and Windows; one implementation per target (TestSystemPosix.cpp,
// TestSystemWindows.cpp), linked into every test program.
#pragma once

#include <string>

namespace testsystem {

// Sets the variable of the process environment as the library reads it;
// a null value removes it. An empty value stays set.
void SetEnv(const std::string& name, const std::string* value);
inline void SetEnv(const std::string& name, const std::string& value) { SetEnv(name, &value); }
inline void UnsetEnv(const std::string& name) { SetEnv(name, nullptr); }

// A new directory of the test's own under the system's temporary directory
// (forward slashes), or "" when none could be made.
std::string MakeTempDirectory(const std::string& prefix);

// Whether `program` is found on the PATH.
bool HaveProgram(const std::string& program);

}  // namespace testsystem
