// A message box with the caption "Chyba", owned by no window.
#include <windows.h>

#include "platform/error_message.h"

void ShowMessageBox(const char* text) {
  bool ascii = true;
  for (const char* c = text; *c; ++c) ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
  if (ascii) {
    MessageBoxA(NULL, text, "Chyba", MB_OK);
    return;
  }
  // Czech letters show right on any code page only through the wide variant.
  wchar_t wide[256];
  if (!MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256)) wide[0] = L'\0';
  MessageBoxW(NULL, wide, L"Chyba", MB_OK);
}
