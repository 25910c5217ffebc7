// Finding a program by its bare name as the Windows shell would, and telling a
// Windows program (one wine must start) from a native one.
#pragma once

#include <cstddef>

// Room for a program's path (PATH_MAX): a longer one cannot be started.
constexpr size_t kProgramPathSize = 4096;

// The working directory first when asked, then each folder of PATH; path has room
// for kProgramPathSize bytes. *windows, when given, tells whether the program found
// is a Windows one (it begins with "MZ").
bool FindProgram(const char* program, bool working_directory_first, char* path, bool* windows);
