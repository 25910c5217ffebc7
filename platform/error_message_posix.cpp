// Without a message box, a message is a line on stderr.
#include <cstdio>

#include "platform/error_message.h"

void ShowMessageBox(const char* text) {
  fprintf(stderr, "Chyba: %s\n", text);
  fflush(stderr);
}
