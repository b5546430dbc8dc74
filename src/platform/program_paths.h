// Where the program's files live: the directory of the executable (taken once, at first use).
#pragma once

#include <string>

namespace nvl {

// Directory of /proc/self/exe, without a trailing "/".
std::string ProgramDir();

// Test support: makes ProgramDir() return `dir` (empty: back to the executable's directory).
void SetProgramDirForTest(const std::string& dir);

// Joins a directory and a name with one "/".
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace nvl
