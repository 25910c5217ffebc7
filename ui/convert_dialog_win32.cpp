// The program's entry on Windows and its one modal dialog.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "convert/convert.h"
#include "resources/resource.h"
#include "ui/selection_tables.h"

static void FillList(HWND dialog, int list, const char* const* codes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    SendDlgItemMessageA(dialog, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(codes[i]));
  }
  SendDlgItemMessageA(dialog, list, CB_SETCURSEL, 0, 0);
}

// A list always holds a selection; should it ever lack one, the first item counts.
static const char* SelectedCode(HWND dialog, int list, const char* const* codes, size_t count) {
  LRESULT index = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<size_t>(index) >= count) index = 0;
  return codes[index];
}

// The notice beside the button tells what the last press did. Found by its place
// after the mission list: its identifier, -1, is the label's too.
static HWND Notice(HWND dialog) { return GetWindow(GetDlgItem(dialog, IDC_MISSION), GW_HWNDNEXT); }

static wchar_t notice_text[64];  // its own text, from the template

static void ConvertSelection(HWND dialog) {
  char selection[64];  // campaign code, then mission code, 32 bytes each
  snprintf(selection, 32, "%s", SelectedCode(dialog, IDC_CAMPAIGN, kCampaignCodes, kCampaignCount));
  snprintf(selection + 32, 32, "%s",
           SelectedCode(dialog, IDC_MISSION, kMissionCodes, kMissionCount));
  // Its own text goes back before the conversion, not after a failure: no earlier
  // success shows while a failure's box is open, and a press made in that box's
  // message loop, the latest, keeps its success when the box closes.
  SetWindowTextW(Notice(dialog), notice_text);
  if (!ConvertMission(selection, selection + 32)) return;
  char codes[16];
  snprintf(codes, sizeof codes, "%s %s", selection, selection + 32);
  // "Převedeno: Am 15a" would wrap in the notice's 64 dialog units; this is no wider
  // than its own text.
  wchar_t converted[64] = L"Hotovo: ";
  size_t length = wcslen(converted);
  MultiByteToWideChar(CP_ACP, 0, codes, -1, converted + length, 64 - length);  // ASCII
  SetWindowTextW(Notice(dialog), converted);
}

INT_PTR CALLBACK ConvertDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      FillList(dialog, IDC_CAMPAIGN, kCampaignCodes, kCampaignCount);
      FillList(dialog, IDC_MISSION, kMissionCodes, kMissionCount);
      GetWindowTextW(Notice(dialog), notice_text, 64);
      return TRUE;  // focus goes to the first tab stop, the convert button
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDCANCEL:
          EndDialog(dialog, 1);
          return TRUE;
        case IDC_CONVERT:
          ConvertSelection(dialog);
          return FALSE;
      }
      break;
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONVERT), NULL, ConvertDialogProc, 0);
  return 0;
}
