// Starting the updater: a program found by its bare name, as the Windows shell
// finds it, started without a window and not waited for.
#pragma once

// Starts program with one parameter in the working directory. 1 when it started;
// 0 when it cannot be found or started (where the platform can tell). On POSIX
// the started program is our child: a program that may not leave zombies lets the
// system reap its children (SA_NOCLDWAIT), as the terminal dialog does.
int StartProgramHidden(const char* program, const char* parameter);
