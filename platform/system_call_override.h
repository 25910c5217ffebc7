// Tests make a system call of the platform files fail for real by putting their own
// function in its place ("getdents64", "FindNextFileW", "rename", ...).
#pragma once

typedef void (*SystemCall)();
// A replacement must have the call's own type; NULL puts the system's call back. 1
// when name is in the table.
int OverrideSystemCall(const char* name, SystemCall replacement);
// The system's own call of that name, for a replacement that fails only sometimes.
SystemCall RealSystemCall(const char* name);
