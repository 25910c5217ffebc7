// Whole-file replacement through a temporary file in the working directory.
#include "convert/replace_file.h"

#include "platform/platform.h"

int FinishReplacement(FILE* file, const char* temp_name, const char* target, bool written_ok) {
  bool ok = written_ok && ferror(file) == 0;
  ok = fclose(file) == 0 && ok;  // the close writes out what is buffered
  ok = ok && MoveFileOver(temp_name, target);
  if (!ok) remove(temp_name);
  return ok ? 1 : 0;
}
