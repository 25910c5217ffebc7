// Finding a program by its bare name as the Windows shell would, and telling a
// Windows program (one wine must start) from a native one.
#pragma once

#include <string>

// The working directory first when asked, then each folder of PATH.
bool FindProgram(const char* program, bool working_directory_first, std::string* path);
// The file begins with "MZ".
bool IsWindowsProgram(const std::string& path);
