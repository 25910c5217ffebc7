// Reads the notice of the open conversion dialog, for the test under Wine: prints its
// text in UTF-8, then "fits" when that text is no wider than the control in the
// dialog's font (MS Sans Serif, 8 points), else "cut". With "box": the text of the
// open message box "Chyba" instead.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "resources/resource.h"

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "box") == 0) {
    HWND box = FindWindowW(L"#32770", L"Chyba");
    wchar_t text[256] = L"";
    if (!box || !GetDlgItemTextW(box, 0xFFFF, text, 256)) {  // the box's text control
      fprintf(stderr, "no box\n");
      return 1;
    }
    char utf8[1024];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    printf("%s\n", utf8);
    return 0;
  }
  HWND dialog = FindWindowW(L"#32770", L"Převod misí do Korvidane");
  HWND notice = dialog ? GetWindow(GetDlgItem(dialog, IDC_MISSION), GW_HWNDNEXT) : NULL;
  if (!notice) {
    fprintf(stderr, "no dialog\n");
    return 1;
  }
  wchar_t text[256] = L"";
  SendMessageW(notice, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  char utf8[1024];
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);

  HDC screen = GetDC(NULL);
  HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                           FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
  SelectObject(screen, font);
  SIZE size = {0, 0};
  GetTextExtentPoint32W(screen, text, lstrlenW(text), &size);
  RECT room;
  GetClientRect(notice, &room);
  printf("%s\n%s\n", utf8, size.cx <= room.right ? "fits" : "cut");
  fprintf(stderr, "text %ld pixels wide, control %ld\n", size.cx, room.right);
  return 0;
}
