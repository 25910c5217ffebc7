// The program's entry where there is no Windows dialog manager. Arguments are
// ignored, as on Windows.
#include <cstdio>

#include "ui/terminal_dialog.h"

int main() { return RunTerminalDialog(stdin, stdout); }
