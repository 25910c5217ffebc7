// Starting the updater through the shell, which finds it as a player's Windows does.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "platform/program_start.h"
#include "platform/system_calls.h"

// ShellExecuteA shows no box of its own when the program is missing: the caller
// tells the player.
int StartProgramHidden(const char* program, const char* parameter) {
  HINSTANCE started = SYSTEM_CALL(ShellExecuteA)(NULL, "open", program, parameter, NULL, SW_HIDE);
  return reinterpret_cast<INT_PTR>(started) > 32 ? 1 : 0;
}
