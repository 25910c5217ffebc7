// Files are written beside their target and moved over it in one step, so an updater
// still reading the old file never sees a torn one and a failed write loses nothing.
#pragma once

#include <cstdio>

// Takes a file from CreateTemporaryFile and closes it. When every write succeeded
// (written_ok) and so did the close, puts it in target's place; otherwise removes it
// and leaves target alone. 1 when target was replaced.
int FinishReplacement(FILE* file, const char* temp_name, const char* target, bool written_ok);
